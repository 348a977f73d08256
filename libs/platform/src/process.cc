// The parts of travo/platform/process.h that are the same everywhere.
#include <thread>

#include "travo/platform/process.h"

namespace travo::platform {

Process::Process() noexcept = default;
Process::Process(State_Ptr state) noexcept : state_(std::move(state)) {}
Process::Process(Process&& other) noexcept = default;

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Process old(std::move(*this));  // ends the child this object held
    state_ = std::move(other.state_);
  }
  return *this;
}

Exit_Status Process::wait() {
  wait_until(Process_Clock::time_point::max());
  return exit_status().value_or(Exit_Status{});
}

bool Process::kill_tree_and_wait(std::chrono::milliseconds grace) {
  kill_tree();
  return wait_for(grace);
}

Run_Result run(const Process_Options& options, std::chrono::milliseconds timeout, std::string_view input) {
  Process_Options o = options;
  o.standard_input = input.empty() ? Redirect::null_device() : Redirect::to_pipe();
  o.standard_output = Redirect::to_pipe();
  o.standard_error = Redirect::to_pipe();
  Process child = Process::start(o);
  const auto deadline = Process_Clock::now() + timeout;

  Run_Result result;
  // Each pipe has a thread of its own, so a child that fills one while we
  // wait on another cannot stall.
  std::thread writer, output_reader, error_reader;
  if (!input.empty()) {
    writer = std::thread([&] {
      child.write_input(input);
      child.close_input();
    });
  }
  output_reader = std::thread([&] {
    while (child.read_output(result.output) == Read_Result::data) {
    }
  });
  if (!o.error_to_output) {
    error_reader = std::thread([&] {
      while (child.read_error(result.error) == Read_Result::data) {
      }
    });
  }
  if (!child.wait_until(deadline)) {
    result.timed_out = true;
    child.kill_tree();
  }
  result.status = child.wait();
  // Whatever the child left behind would hold the pipes open.
  child.kill_tree();
  for (std::thread* t : {&writer, &output_reader, &error_reader}) {
    if (t->joinable()) t->join();
  }
  return result;
}

Run_Result run(std::vector<std::string> argv, std::chrono::milliseconds timeout) {
  Process_Options o;
  o.argv = std::move(argv);
  return run(o, timeout);
}

}  // namespace travo::platform
