// Waiting in a console program for the user's request to stop it: SIGINT or
// SIGTERM on POSIX systems; Ctrl+C, Ctrl+Break, closing the console, logoff
// or shutdown on Windows.
#pragma once

namespace travo::platform {

// Call once, before the program starts any thread: on POSIX systems the
// stop signals are blocked so that every later thread inherits the mask and
// wait_for_stop_request is their only receiver.
void prepare_stop_request();

// Blocks the calling thread until a stop request arrives.
void wait_for_stop_request();

}  // namespace travo::platform
