// Waiting in a console program for the user's request to stop it: SIGINT or
// SIGTERM on POSIX systems; Ctrl+C, Ctrl+Break, closing the console, logoff
// or shutdown on Windows.
#pragma once

#include <functional>
#include <memory>

namespace travo::platform {

// Call once, before the program starts any thread: on POSIX systems the
// stop signals are blocked so that every later thread inherits the mask and
// wait_for_stop_request is their only receiver.
void prepare_stop_request();

// Blocks the calling thread until a stop request arrives.
void wait_for_stop_request();

// Runs `on_stop` for every stop request that arrives while the object
// lives, on a thread other than the caller's (the request does not end the
// program; `on_stop` decides what happens). Create it before the program
// starts any other thread: on POSIX systems it blocks the stop signals in
// the creating thread, so that threads started later inherit the mask, and
// waits for them on a thread of its own; destroying it (on the same thread)
// ends that thread and gives the creating thread its mask back. On Windows
// it is a console control handler. One listener at a time per program.
// `on_stop` must not throw.
class Stop_Request_Listener {
 public:
  explicit Stop_Request_Listener(std::function<void()> on_stop);
  ~Stop_Request_Listener();
  Stop_Request_Listener(const Stop_Request_Listener&) = delete;
  Stop_Request_Listener& operator=(const Stop_Request_Listener&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace travo::platform
