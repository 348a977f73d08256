#include "travo/platform/stop_request.h"

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>

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

namespace {

std::mutex listener_mutex;
std::function<void()>* listener = nullptr;  // the live listener's callback

BOOL WINAPI on_console_event_for_listener(DWORD) {
  std::lock_guard lock(listener_mutex);
  if (listener == nullptr) return FALSE;  // the next handler (the default one) acts
  (*listener)();
  return TRUE;
}

}  // namespace

struct Stop_Request_Listener::Impl {
  std::function<void()> on_stop;
};

Stop_Request_Listener::Stop_Request_Listener(std::function<void()> on_stop)
    : impl_(std::make_unique<Impl>(Impl{std::move(on_stop)})) {
  {
    std::lock_guard lock(listener_mutex);
    if (listener != nullptr) throw std::logic_error("a stop request listener is already live");
    listener = &impl_->on_stop;
  }
  if (!SetConsoleCtrlHandler(on_console_event_for_listener, TRUE)) {
    std::lock_guard lock(listener_mutex);
    listener = nullptr;
    throw std::runtime_error("cannot install the console control handler");
  }
}

Stop_Request_Listener::~Stop_Request_Listener() {
  SetConsoleCtrlHandler(on_console_event_for_listener, FALSE);
  std::lock_guard lock(listener_mutex);  // waits for a handler still running
  listener = nullptr;
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

struct Stop_Request_Listener::Impl {
  std::function<void()> on_stop;
  sigset_t previous_mask;
  std::atomic<bool> closing{false};
  std::thread waiter;
};

Stop_Request_Listener::Stop_Request_Listener(std::function<void()> on_stop) : impl_(std::make_unique<Impl>()) {
  impl_->on_stop = std::move(on_stop);
  const sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, &impl_->previous_mask);
  Impl* im = impl_.get();
  impl_->waiter = std::thread([im] {
    const sigset_t signals = stop_signals();
    for (;;) {
      int received = 0;
      if (sigwait(&signals, &received) != 0) continue;
      if (im->closing) return;
      im->on_stop();
    }
  });
}

Stop_Request_Listener::~Stop_Request_Listener() {
  // Wakes the waiter with a signal aimed at it alone; it sees `closing`.
  impl_->closing = true;
  pthread_kill(impl_->waiter.native_handle(), SIGTERM);
  impl_->waiter.join();
  pthread_sigmask(SIG_SETMASK, &impl_->previous_mask, nullptr);
}

#endif

}  // namespace travo::platform
