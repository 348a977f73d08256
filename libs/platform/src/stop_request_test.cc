#include "travo/platform/stop_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace travo::platform {
namespace {

// The request a user would send: SIGTERM, or Ctrl+Break to every process
// of this console. The waiting call below must return, and the process must
// live on: without prepare_stop_request either would end it.
TEST(StopRequest, WaitReturnsOnStopRequestAndTheProcessLives) {
  prepare_stop_request();
#ifdef _WIN32
  // Wine without a terminal has no console that can carry the event.
  if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
    GTEST_SKIP() << "no console to send Ctrl+Break through (error " << GetLastError() << ")";
  }
#else
  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
#endif
  wait_for_stop_request();  // a lost request hangs here until ctest's time-out
  SUCCEED();
}

// Each request runs the callback once, on another thread, and the process
// lives on; the listener can be made again after the first is gone.
TEST(StopRequest, ListenerRunsItsCallbackForEveryRequest) {
  std::mutex mu;
  std::condition_variable cv;
  int calls = 0;
  auto wait_for_calls = [&](int n) {
    std::unique_lock lock(mu);
    return cv.wait_for(lock, std::chrono::seconds(120), [&] { return calls >= n; });
  };
  for (int round = 0; round < 2; ++round) {
    Stop_Request_Listener listener([&] {
      {
        std::lock_guard lock(mu);
        ++calls;
      }
      cv.notify_all();
    });
#ifdef _WIN32
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
      GTEST_SKIP() << "no console to send Ctrl+C through (error " << GetLastError() << ")";
    }
    ASSERT_TRUE(wait_for_calls(2 * round + 1));
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0));
#else
    ASSERT_EQ(kill(getpid(), SIGINT), 0);
    ASSERT_TRUE(wait_for_calls(2 * round + 1));
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
#endif
    ASSERT_TRUE(wait_for_calls(2 * round + 2));
  }
  std::lock_guard lock(mu);
  EXPECT_EQ(calls, 4);
}

}  // namespace
}  // namespace travo::platform
