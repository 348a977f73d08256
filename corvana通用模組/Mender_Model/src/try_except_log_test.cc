#include "mender_model/try_except_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace mender_model {
namespace {

TEST(TryExceptLog, RunsTheActionAndReportsNothingOnSuccess) {
  std::ostringstream report;
  int runs = 0;
  Action wrapped = try_except_log("step", [&] { ++runs; }, report);
  wrapped();
  wrapped();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(report.str(), "");
}

TEST(TryExceptLog, AbsorbsFailuresAndReportsOneLineEach) {
  std::ostringstream report;
  Action std_failure = try_except_log(
      "button_event_001", [] { throw std::runtime_error("queue\n'起始數據' missing"); }, report);
  Action odd_failure = try_except_log("aa", [] { throw 42; }, report);
  Action empty = try_except_log("nothing", Action{}, report);

  EXPECT_NO_THROW(std_failure());
  EXPECT_NO_THROW(odd_failure());
  EXPECT_NO_THROW(empty());
  EXPECT_EQ(report.str(),
            "[try_except_log] button_event_001: queue '起始數據' missing\n"
            "[try_except_log] aa: unknown exception\n"
            "[try_except_log] nothing: no action\n");
}

TEST(TryExceptLog, DefaultReportGoesToStandardError) {
  Action wrapped = try_except_log("button_event_008", [] { throw std::runtime_error("no browser"); });
  testing::internal::CaptureStderr();
  wrapped();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[try_except_log] button_event_008: no browser\n");
}

}  // namespace
}  // namespace mender_model
