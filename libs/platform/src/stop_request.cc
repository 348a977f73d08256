#include "travo/platform/stop_request.h"

#ifdef _WIN32
#include <windows.h>

#include <condition_variable>
#include <mutex>
#else
#include <pthread.h>
#include <signal.h>
#endif

namespace travo::platform {

#ifdef _WIN32
namespace {

std::mutex stop_mutex;
std::condition_variable stop_arrived;
bool stop_requested = false;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI on_console_event(DWORD) {
  {
    std::lock_guard lock(stop_mutex);
    stop_requested = true;
  }
  stop_arrived.notify_all();
  // Handled: after Ctrl+C or Ctrl+Break the program ends by returning from
  // main; on closing the console the system ends it once this returns.
  return TRUE;
}

}  // namespace

void prepare_stop_request() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void wait_for_stop_request() {
  std::unique_lock lock(stop_mutex);
  stop_arrived.wait(lock, [] { return stop_requested; });
}

#else

namespace {
sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void prepare_stop_request() {
  const sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void wait_for_stop_request() {
  const sigset_t set = stop_signals();
  int received = 0;
  sigwait(&set, &received);
}

#endif

}  // namespace travo::platform
