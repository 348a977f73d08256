#include "travo/platform/stop_request.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace travo::platform
