// POSIX half of travo/platform/process.h: fork/exec with a clean descriptor
// table, a process group per child, waits that leave the child a zombie
// until the Process object lets go of it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "travo/platform/process.h"

extern char** environ;

namespace travo::platform {

struct Process::State {
  pid_t pid = 0;
  std::optional<Exit_Status> status;
  bool collected = false;
  int input = -1;
  int output = -1;
  int error = -1;
};

namespace {

// Descriptor numbers at or above this are free for shuffling in the child;
// targets are 0, 1 and 2.
constexpr int kScratchFd = 64;

// What the child reports through its error pipe when it cannot go on.
struct Child_Failure {
  enum Step : int { exec, working_directory, descriptors } step;
  int error;
};

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Closes the descriptors that own the child's ends after the fork, and any
// parent end when start() fails half-way.
struct Fd_Set {
  std::vector<int> fds;
  ~Fd_Set() {
    for (int fd : fds) ::close(fd);
  }
  int keep(int fd) {
    fds.push_back(fd);
    return fd;
  }
};

void close_from(int lowest, int keep) {
#ifdef SYS_close_range
  bool ok = true;
  if (keep >= lowest) {
    if (keep > lowest && syscall(SYS_close_range, lowest, keep - 1, 0) != 0) ok = false;
    if (ok && syscall(SYS_close_range, keep + 1, ~0U, 0) != 0) ok = false;
  } else if (syscall(SYS_close_range, lowest, ~0U, 0) != 0) {
    ok = false;
  }
  if (ok) return;
#endif
  long max = sysconf(_SC_OPEN_MAX);
  if (max < 0 || max > 65536) max = 65536;
  for (int fd = lowest; fd < max; ++fd) {
    if (fd != keep) ::close(fd);
  }
}

[[noreturn]] void fail_in_child(int error_fd, Child_Failure::Step step, int error) {
  Child_Failure f{step, error};
  [[maybe_unused]] ssize_t n = ::write(error_fd, &f, sizeof f);
  _exit(127);
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void child_exec(const int (&sources)[3], const char* cwd, bool pdeathsig, char* const* argv,
                             char* const* envp, pid_t parent, int error_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaction(sig, &dfl, nullptr);

  setpgid(0, 0);
  if (pdeathsig) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
  }

  // Park the sources above the targets first so no target overwrites a
  // source still to be moved.
  int parked[3];
  for (int i = 0; i < 3; ++i) {
    parked[i] = fcntl(sources[i], F_DUPFD_CLOEXEC, kScratchFd);
    if (parked[i] < 0) fail_in_child(error_fd, Child_Failure::descriptors, errno);
  }
  for (int i = 0; i < 3; ++i) {
    if (dup2(parked[i], i) < 0) fail_in_child(error_fd, Child_Failure::descriptors, errno);
  }
  close_from(3, error_fd);
  if (cwd != nullptr && chdir(cwd) != 0) fail_in_child(error_fd, Child_Failure::working_directory, errno);

  execve(argv[0], argv, envp);
  fail_in_child(error_fd, Child_Failure::exec, errno);
}

std::vector<std::string> merged_environment(const Process_Options& options) {
  auto named = [](const std::string& entry, const std::string& name) {
    return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
  };
  std::vector<std::string> out;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry(*e);
    bool dropped = std::any_of(options.environment.begin(), options.environment.end(),
                               [&](const auto& kv) { return named(entry, kv.first); }) ||
                   std::any_of(options.remove_environment.begin(), options.remove_environment.end(),
                               [&](const std::string& name) { return named(entry, name); });
    if (!dropped) out.push_back(std::move(entry));
  }
  for (const auto& [name, value] : options.environment) {
    if (name.empty() || name.find('=') != std::string::npos) {
      throw std::invalid_argument("invalid environment variable name '" + name + "'");
    }
    out.push_back(name + "=" + value);
  }
  return out;
}

std::string error_text(int error) { return std::strerror(error); }

int open_or_throw(const std::filesystem::path& path, int flags, const std::string& program) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    throw Process_Error("cannot open " + path.string() + " for " + program + ": " + error_text(errno));
  }
  return fd;
}

void make_pipe(int (&fds)[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) throw Process_Error("cannot create a pipe: " + error_text(errno));
}

Exit_Status status_from(const siginfo_t& info) {
  Exit_Status s;
  if (info.si_code == CLD_EXITED) {
    s.code = info.si_status;
  } else {
    s.signal = info.si_status;
  }
  return s;
}

Read_Result read_fd(int fd, std::string& into, Process_Clock::time_point deadline) {
  if (fd < 0) throw std::logic_error("the stream is not a pipe");
  for (;;) {
    int wait_ms = -1;
    if (deadline != Process_Clock::time_point::max()) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Process_Clock::now()).count();
      wait_ms = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
    }
    pollfd p{fd, POLLIN, 0};
    int rc = ::poll(&p, 1, wait_ms);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return Read_Result::end;
    }
    if (rc == 0) {
      if (Process_Clock::now() >= deadline) return Read_Result::timeout;
      continue;
    }
    char buffer[65536];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      return Read_Result::data;
    }
    if (n == 0) return Read_Result::end;
    if (errno != EINTR && errno != EAGAIN) return Read_Result::end;
  }
}

}  // namespace

void Process::State_Deleter::operator()(State* state) const noexcept { delete state; }

Process::~Process() {
  if (!state_) return;
  if (state_->pid > 0 && !state_->collected) {
    ::kill(-state_->pid, SIGKILL);
    ::kill(state_->pid, SIGKILL);
    // A child stuck in the kernel is left a zombie rather than hanging us.
    if (wait_for(std::chrono::seconds(5))) {
      while (::waitpid(state_->pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  close_fd(state_->input);
  close_fd(state_->output);
  close_fd(state_->error);
}

Process Process::start(const Process_Options& options) {
  if (options.argv.empty() || options.argv[0].empty()) throw std::invalid_argument("no program to run");
  const std::string& program = options.argv[0];

  std::vector<std::string> env_strings = merged_environment(options);
  std::vector<char*> argv;
  for (const std::string& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env_strings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const std::string cwd = options.working_directory.string();

  State_Ptr state(new State());
  Fd_Set child_ends;  // closed here once the child has them
  Fd_Set parent_ends;  // released into `state` on success
  int sources[3];
  int null_fd = -1;
  auto null_device = [&] {
    if (null_fd < 0) null_fd = child_ends.keep(open_or_throw("/dev/null", O_RDWR, program));
    return null_fd;
  };
  const Redirect* redirects[3] = {&options.standard_input, &options.standard_output, &options.standard_error};
  int* pipe_ends[3] = {&state->input, &state->output, &state->error};
  for (int i = 0; i < 3; ++i) {
    if (i == 2 && options.error_to_output) {
      sources[2] = sources[1];
      break;
    }
    const Redirect& r = *redirects[i];
    switch (r.kind) {
      case Redirect::Kind::null_device:
        sources[i] = null_device();
        break;
      case Redirect::Kind::inherit:
        sources[i] = i;
        break;
      case Redirect::Kind::file:
        sources[i] = child_ends.keep(open_or_throw(
            r.file, i == 0 ? O_RDONLY : (O_WRONLY | O_CREAT | (r.append ? O_APPEND : O_TRUNC)), program));
        break;
      case Redirect::Kind::pipe: {
        int fds[2];
        make_pipe(fds);
        const int ours = i == 0 ? fds[1] : fds[0];
        const int theirs = i == 0 ? fds[0] : fds[1];
        parent_ends.keep(ours);
        sources[i] = child_ends.keep(theirs);
        *pipe_ends[i] = ours;
        break;
      }
    }
  }

  int error_pipe[2];
  make_pipe(error_pipe);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    const int err = errno;
    ::close(error_pipe[0]);
    ::close(error_pipe[1]);
    throw Process_Error("cannot start " + program + ": " + error_text(err));
  }
  if (pid == 0) {
    ::close(error_pipe[0]);
    child_exec(sources, cwd.empty() ? nullptr : cwd.c_str(), options.dies_with_parent, argv.data(), envp.data(),
               parent, error_pipe[1]);
  }
  ::close(error_pipe[1]);
  // Mirror the child's own setpgid so a kill_tree() right after start()
  // cannot miss the group.
  setpgid(pid, pid);

  Child_Failure failure{};
  ssize_t n;
  do {
    n = ::read(error_pipe[0], &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  ::close(error_pipe[0]);
  if (n == static_cast<ssize_t>(sizeof failure)) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    switch (failure.step) {
      case Child_Failure::working_directory:
        throw Process_Error("cannot run " + program + " in " + cwd + ": " + error_text(failure.error));
      case Child_Failure::descriptors:
        throw Process_Error("cannot set up the standard streams of " + program + ": " + error_text(failure.error));
      case Child_Failure::exec:
        break;
    }
    throw Process_Error("cannot run " + program + ": " + error_text(failure.error));
  }
  state->pid = pid;
  parent_ends.fds.clear();
  return Process(std::move(state));
}

bool Process::valid() const noexcept { return state_ && state_->pid > 0; }

Process_Id Process::id() const noexcept { return state_ ? state_->pid : 0; }

bool Process::has_exited() {
  if (!valid()) return true;
  if (state_->status) return true;
  siginfo_t info{};
  int rc;
  do {
    rc = ::waitid(P_PID, static_cast<id_t>(state_->pid), &info, WEXITED | WNOHANG | WNOWAIT);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    // ECHILD: someone else collected it (or SIGCHLD is ignored).
    state_->status = Exit_Status{};
    state_->collected = true;
    return true;
  }
  if (info.si_pid != state_->pid) return false;
  state_->status = status_from(info);
  return true;
}

bool Process::wait_until(Process_Clock::time_point deadline) {
  auto pause = std::chrono::milliseconds(1);
  while (!has_exited()) {
    const auto now = Process_Clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<Process_Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return true;
}

std::optional<Exit_Status> Process::exit_status() {
  if (!valid() || !has_exited()) return std::nullopt;
  return state_->status;
}

void Process::kill_tree() {
  if (!valid() || state_->collected) return;
  ::kill(-state_->pid, SIGKILL);
  ::kill(state_->pid, SIGKILL);
}

bool Process::write_input(std::string_view data) {
  if (!state_ || state_->input < 0) throw std::logic_error("standard input is not a pipe");
  // A child that closed its end would raise SIGPIPE: keep it blocked for
  // this thread and take it back if this write caused it.
  sigset_t pipe_set, old, pending;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  bool ok = true;
  while (!data.empty()) {
    ssize_t n = ::write(state_->input, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (errno == EPIPE && !was_pending) {
        const timespec zero{};
        while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
        }
      }
      ok = false;
      break;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

void Process::close_input() {
  if (state_) close_fd(state_->input);
}

Read_Result Process::read_output(std::string& into, Process_Clock::time_point deadline) {
  return read_fd(state_ ? state_->output : -1, into, deadline);
}

Read_Result Process::read_error(std::string& into, Process_Clock::time_point deadline) {
  return read_fd(state_ ? state_->error : -1, into, deadline);
}

std::string Exit_Status::describe() const {
  if (signal != 0) {
    const char* name = sigabbrev_np(signal);
    return std::string("killed by signal ") + (name ? std::string("SIG") + name : std::to_string(signal));
  }
  if (code < 0) return "unknown status";
  return "exit code " + std::to_string(code);
}

}  // namespace travo::platform
