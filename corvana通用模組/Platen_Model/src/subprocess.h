// Child processes for the converter: spawning with a clean descriptor table,
// bounded waits, and killing whole process groups.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace platen_model::detail {

using Clock = std::chrono::steady_clock;

struct Spawn_Request {
  // argv[0] is the program's path; no PATH search is made.
  std::vector<std::string> argv;
  // Extra "NAME=value" entries; they replace inherited ones of the same name.
  std::vector<std::string> env;
  // Descriptors of this process handed to the child as (source, target).
  // Targets 0, 1 and 2 not listed are connected to /dev/null. Nothing else
  // is inherited, whatever its close-on-exec flag.
  std::vector<std::pair<int, int>> fds;
  // The child leads a new process group, so kill_group() reaches everything
  // it starts.
  bool new_process_group = true;
  // Signal the child receives when the spawning thread ends (0: none).
  int parent_death_signal = 0;
};

// Starts the child and returns its pid. Throws std::runtime_error when the
// program cannot be executed (the message names it and the errno text).
pid_t spawn(const Spawn_Request& request);

// True once `pid` has exited; the child stays a zombie so its pid (and
// process group id) cannot be reused before reap() is called.
bool has_exited(pid_t pid);

// Waits until `pid` exits or `deadline` passes; true if it exited. Does not
// reap.
bool wait_exit(pid_t pid, Clock::time_point deadline);

// Collects an exited child; returns its wait status (or -1 if unknown).
int reap(pid_t pid);

// Sends `signal` to the process group led by `pgid`; missing groups are fine.
void kill_group(pid_t pgid, int signal);

// Kills the group of `pid` with SIGKILL and reaps `pid`, waiting at most
// `grace` for it to go.
void kill_and_reap(pid_t pid, std::chrono::milliseconds grace);

// "exit code N" / "killed by signal N" for a wait status.
std::string describe_status(int status);

// The last `max_bytes` of a file (whole lines where possible), trimmed;
// empty if the file is missing.
std::string file_tail(const std::filesystem::path& path, std::size_t max_bytes = 2000);

}  // namespace platen_model::detail
