// Child processes, the same on POSIX systems and Windows.
//
//   Process_Options o;
//   o.argv = {program, "--flag", "石墨烯 檢索"};
//   o.standard_output = Redirect::to_pipe();
//   Process p = Process::start(o);
//   std::string out;
//   while (p.read_output(out, deadline) == Read_Result::data) {}
//   if (!p.wait_until(deadline)) p.kill_tree();
//
// The contract:
// - Arguments and environment are UTF-8. argv[0] is the program's path; no
//   PATH search is made (on Windows ".exe" is tried after a name without
//   an extension). On Windows the arguments reach the child through a
//   command line quoted so that the C runtime's parser (CommandLineToArgvW)
//   gives back exactly argv; the program must be an executable image, not a
//   .bat/.cmd script.
// - The child inherits nothing but its three standard streams (POSIX: every
//   other descriptor is closed; Windows: only the three handles are
//   inherited). Each stream goes to the null device unless redirected.
// - The whole tree: the child and everything it starts can be killed at once
//   (POSIX: the child leads a new process group, killed with SIGKILL;
//   Windows: a Job object with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, assigned
//   while the child is still suspended, so no grandchild escapes it).
// - The tree never outlives the Process object: destroying (or assigning
//   over) a Process kills its tree and collects the child. Callers that
//   want the child to finish wait for it first.
// - On Windows the tree also dies when this process dies in any way (the
//   job's last handle closes). On Linux Process_Options::dies_with_parent
//   asks for SIGKILL when the starting *thread* ends (PR_SET_PDEATHSIG);
//   grandchildren are not covered there.
// - Until it is collected the child's id stays reserved for it (POSIX: it
//   stays a zombie; Windows: its handle is held), so kill_tree() never hits
//   an unrelated process.
//
// Failures to start throw Process_Error, whose message names the program and
// the operating system's reason ("cannot run /x/soffice: No such file or
// directory"). Bad arguments (an empty argv, text that is not UTF-8 on
// Windows) throw std::invalid_argument.
//
// Thread safety: one Process object is used by one thread at a time, except
// that the standard input, output and error pipes may each be served by a
// thread of its own (as run() does).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace travo::platform {

#ifdef _WIN32
using Process_Id = unsigned long;  // DWORD
#else
using Process_Id = int;  // pid_t
#endif

using Process_Clock = std::chrono::steady_clock;

class Process_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where one standard stream of the child goes.
struct Redirect {
  enum class Kind {
    null_device,  // /dev/null, NUL
    inherit,      // this process's own stream
    file,         // output: created or truncated (appended with `append`);
                  // input: read from the start
    pipe,         // a pipe this process writes (input) or reads (output)
  };
  Kind kind = Kind::null_device;
  std::filesystem::path file;
  bool append = false;

  static Redirect null_device() { return {}; }
  static Redirect inherit() { return {Kind::inherit, {}, false}; }
  static Redirect to_file(std::filesystem::path path, bool append = false) {
    return {Kind::file, std::move(path), append};
  }
  static Redirect to_pipe() { return {Kind::pipe, {}, false}; }
};

struct Process_Options {
  std::vector<std::string> argv;
  // Added to this process's environment, replacing entries of the same name
  // (on Windows names compare without regard to case).
  std::vector<std::pair<std::string, std::string>> environment;
  // Names removed from the inherited environment.
  std::vector<std::string> remove_environment;
  // Empty: this process's current folder.
  std::filesystem::path working_directory;
  Redirect standard_input;
  Redirect standard_output;
  Redirect standard_error;
  // The error stream goes wherever standard_output goes (standard_error is
  // then ignored), as "2>&1" does.
  bool error_to_output = false;
  // Linux: SIGKILL to the child when the thread that started it ends.
  // Windows: always the case for the whole tree; nothing to ask for.
  bool dies_with_parent = false;
};

// How a child ended.
struct Exit_Status {
  // The exit code; -1 when a signal ended it.
  int code = -1;
  // POSIX: the signal that ended it, 0 if it exited.
  int signal = 0;

  bool success() const { return signal == 0 && code == 0; }
  // "exit code 3", "killed by signal SIGKILL", "exit code 0xC0000005".
  std::string describe() const;
};

// What a read from one of the child's pipes found.
enum class Read_Result {
  data,     // at least one byte was appended
  end,      // the child's end is closed (by the whole tree) and all was read
  timeout,  // nothing arrived before the deadline
};

// The exit code a tree killed by kill_tree() reports on Windows (as a shell
// reports SIGKILL on POSIX systems).
inline constexpr int kKilledExitCode = 137;

class Process {
 public:
  // No process.
  Process() noexcept;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // Kills the tree and collects the child (see above).
  ~Process();

  // Starts the child. Throws Process_Error or std::invalid_argument.
  static Process start(const Process_Options& options);

  // Whether this object holds a child (running or not yet collected).
  bool valid() const noexcept;
  Process_Id id() const noexcept;

  // True once the child itself has exited (its tree may live on). Does not
  // collect it.
  bool has_exited();

  // Waits until the child exits or `deadline` passes; true if it exited.
  bool wait_until(Process_Clock::time_point deadline);
  bool wait_for(std::chrono::milliseconds timeout) { return wait_until(Process_Clock::now() + timeout); }

  // Waits for the child without bound and returns how it ended.
  Exit_Status wait();

  // How the child ended, once it has; std::nullopt while it runs.
  std::optional<Exit_Status> exit_status();

  // Kills the child and everything it started (SIGKILL to the process
  // group; TerminateJobObject). Returns at once; wait_until() tells when
  // the child is gone. Harmless after the child exited.
  void kill_tree();

  // kill_tree(), then waits up to `grace` for the child; true if it is gone.
  bool kill_tree_and_wait(std::chrono::milliseconds grace);

  // The standard input pipe (Redirect::to_pipe() only). write_input()
  // writes all of `data`, blocking while the pipe is full; false once the
  // child's end is closed (never raises SIGPIPE). close_input() sends the
  // end of the stream.
  bool write_input(std::string_view data);
  void close_input();

  // The standard output and error pipes (Redirect::to_pipe() only): appends
  // what is available to `into`, waiting for something until `deadline`
  // (Process_Clock::time_point::max(): without bound).
  Read_Result read_output(std::string& into, Process_Clock::time_point deadline = Process_Clock::time_point::max());
  Read_Result read_error(std::string& into, Process_Clock::time_point deadline = Process_Clock::time_point::max());

 private:
  // Each system's State and its deleter live in its own source file; the
  // rest of the class only moves the pointer.
  struct State;
  struct State_Deleter {
    void operator()(State* state) const noexcept;
  };
  using State_Ptr = std::unique_ptr<State, State_Deleter>;
  explicit Process(State_Ptr state) noexcept;
  State_Ptr state_;
};

// What run() saw.
struct Run_Result {
  Exit_Status status;
  std::string output;
  std::string error;
  // The child was killed at the time-out (status then says how it ended).
  bool timed_out = false;
};

// Runs a program to its end for tests and small tools: `input` is written
// to its standard input (then closed), standard output and error are
// captured (error_to_output merges them into `output`); the standard
// stream redirects in `options` are ignored. A child still running after
// `timeout` has its tree killed. Once the child has exited, whatever it left
// running is killed too, so the captured output is complete when run()
// returns. Throws as Process::start() does.
Run_Result run(const Process_Options& options, std::chrono::milliseconds timeout, std::string_view input = {});

// Convenience: run() of `argv` with no other options.
Run_Result run(std::vector<std::string> argv, std::chrono::milliseconds timeout);

}  // namespace travo::platform
