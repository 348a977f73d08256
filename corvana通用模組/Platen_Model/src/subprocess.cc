#include "subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace platen_model::detail {
namespace {

// Descriptor numbers at or above this are free for shuffling in the child;
// targets are always small.
constexpr int kScratchFd = 64;

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
    if (fd != keep) close(fd);
  }
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void child_exec(const Spawn_Request& request, char* const* argv, char* const* envp,
                             pid_t parent, int error_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaction(sig, &dfl, nullptr);

  if (request.new_process_group) setpgid(0, 0);
  if (request.parent_death_signal != 0) {
    prctl(PR_SET_PDEATHSIG, request.parent_death_signal);
    if (getppid() != parent) _exit(127);
  }

  // Park the sources above the targets first so no target overwrites a
  // source still to be moved.
  int parked[16];
  std::size_t count = std::min<std::size_t>(request.fds.size(), 16);
  int highest_target = 2;
  for (std::size_t i = 0; i < count; ++i) {
    parked[i] = fcntl(request.fds[i].first, F_DUPFD_CLOEXEC, kScratchFd);
    highest_target = std::max(highest_target, request.fds[i].second);
  }
  bool taken[3] = {false, false, false};
  for (std::size_t i = 0; i < count; ++i) {
    int target = request.fds[i].second;
    if (parked[i] < 0 || dup2(parked[i], target) < 0) {
      int err = errno;
      [[maybe_unused]] ssize_t n = write(error_fd, &err, sizeof err);
      _exit(127);
    }
    if (target < 3) taken[target] = true;
  }
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd = 0; fd < 3; ++fd) {
    if (!taken[fd] && null_fd >= 0) dup2(null_fd, fd);
  }
  close_from(highest_target + 1, error_fd);

  execve(argv[0], argv, envp);
  int err = errno;
  [[maybe_unused]] ssize_t n = write(error_fd, &err, sizeof err);
  _exit(127);
}

std::vector<std::string> merged_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> out;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& x) {
      return x.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (!replaced) out.push_back(std::move(entry));
  }
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

}  // namespace

pid_t spawn(const Spawn_Request& request) {
  if (request.argv.empty()) throw std::invalid_argument("spawn: empty argument list");
  if (request.fds.size() > 16) throw std::invalid_argument("spawn: too many descriptors");

  std::vector<std::string> env_strings = merged_environment(request.env);
  std::vector<char*> argv;
  for (const std::string& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env_strings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int error_pipe[2];
  if (pipe2(error_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    int err = errno;
    close(error_pipe[0]);
    close(error_pipe[1]);
    throw std::runtime_error("cannot start " + request.argv[0] + ": " + std::strerror(err));
  }
  if (pid == 0) {
    close(error_pipe[0]);
    child_exec(request, argv.data(), envp.data(), parent, error_pipe[1]);
  }
  close(error_pipe[1]);
  // Mirror the child's own setpgid so a kill_group() right after spawn()
  // cannot miss it.
  if (request.new_process_group) setpgid(pid, pid);

  int child_errno = 0;
  ssize_t n;
  do {
    n = read(error_pipe[0], &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  close(error_pipe[0]);
  if (n == static_cast<ssize_t>(sizeof child_errno)) {
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("cannot run " + request.argv[0] + ": " + std::strerror(child_errno));
  }
  return pid;
}

bool has_exited(pid_t pid) {
  siginfo_t info{};
  int rc;
  do {
    rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return true;  // ECHILD: already collected (or SIGCHLD ignored)
  return info.si_pid == pid;
}

bool wait_exit(pid_t pid, Clock::time_point deadline) {
  auto pause = std::chrono::milliseconds(1);
  while (!has_exited(pid)) {
    auto now = Clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return true;
}

int reap(pid_t pid) {
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(pid, &status, 0);
  } while (rc < 0 && errno == EINTR);
  return rc == pid ? status : -1;
}

void kill_group(pid_t pgid, int signal) {
  if (pgid > 0) ::kill(-pgid, signal);
}

void kill_and_reap(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  kill_group(pid, SIGKILL);
  ::kill(pid, SIGKILL);
  if (wait_exit(pid, Clock::now() + grace)) reap(pid);
}

std::string describe_status(int status) {
  if (status == -1) return "unknown status";
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const char* name = sigabbrev_np(WTERMSIG(status));
    return std::string("killed by signal ") + (name ? std::string("SIG") + name : std::to_string(WTERMSIG(status)));
  }
  return "status " + std::to_string(status);
}

std::string file_tail(const std::filesystem::path& path, std::size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  std::streamoff start = size > static_cast<std::streamoff>(max_bytes) ? size - static_cast<std::streamoff>(max_bytes) : 0;
  in.seekg(start);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (start > 0) {
    auto nl = text.find('\n');
    if (nl != std::string::npos && nl + 1 < text.size()) text.erase(0, nl + 1);
  }
  auto not_space = [](unsigned char c) { return !std::isspace(c); };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), not_space));
  text.erase(std::find_if(text.rbegin(), text.rend(), not_space).base(), text.end());
  return text;
}

}  // namespace platen_model::detail
