#include "travo/patent_site/command_line.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <vector>

#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/programs.h"

namespace travo::patent_site {
namespace {

Command_Line parse(std::vector<std::string_view> args) { return parse_command_line(args); }

TEST(CommandLine, ReadsOptionsAndFaultSwitches) {
  const Command_Line cl =
      parse({"--host", "0.0.0.0", "--port=8080", "--patents", "300", "--seed", "7", "--delay-ms", "25",
             "--drop-page", "3", "--no-count", "--count-text", "約 1,000", "--empty-page0=2",
             "--stall-page", "4", "--rotate-cookie-page", "1", "--short-info"});
  const Options& o = cl.options;
  EXPECT_EQ(o.host, "0.0.0.0");
  EXPECT_EQ(o.port, 8080);
  EXPECT_EQ(o.patents, 300);
  EXPECT_EQ(o.seed, 7u);
  EXPECT_EQ(o.delay, std::chrono::milliseconds(25));
  EXPECT_EQ(o.drop_page, 3);
  EXPECT_TRUE(o.no_count);
  EXPECT_EQ(o.count_text, "約 1,000");
  EXPECT_EQ(o.empty_page0, 2);
  EXPECT_EQ(o.stall_page, 4);
  EXPECT_EQ(o.rotate_cookie_page, 1);
  EXPECT_TRUE(o.short_info);
  EXPECT_FALSE(o.huge_page.has_value());
  EXPECT_FALSE(cl.help);
  EXPECT_FALSE(o.captcha_page.has_value());
  EXPECT_FALSE(o.maintenance);
  EXPECT_TRUE(parse({"--help"}).help);

  EXPECT_FALSE(o.no_count_when_empty);
  const Options blocked = parse({"--captcha-page", "3", "--maintenance", "--no-count-when-empty"}).options;
  EXPECT_EQ(blocked.captcha_page, 3);
  EXPECT_TRUE(blocked.maintenance);
  EXPECT_TRUE(blocked.no_count_when_empty);
  EXPECT_THROW(parse({"--captcha-page", "256"}), std::invalid_argument);
  EXPECT_THROW(parse({"--maintenance=1"}), std::invalid_argument);
}

TEST(CommandLine, RejectsWhatItCannotUse) {
  for (const std::vector<std::string_view>& bad :
       {std::vector<std::string_view>{"--bogus"}, {"--port"}, {"--port", "x"}, {"--port", "70000"},
        {"--patents", "-1"}, {"--drop-page", "256"}, {"--no-count=1"}, {"8080"}, {"--seed", "1.5"}}) {
    EXPECT_THROW(parse(bad), std::invalid_argument) << bad[0];
  }
}

namespace platform = travo::platform;

std::string executable() { return platform::environment_variable("TRAVO_BIN_DIR").value_or(".") + "/patent-site"; }

TEST(Executable, AnnouncesItsAddressAndStopsOnRequest) {
  if (!platform::is_executable_file(executable()) &&
      !platform::is_executable_file(executable() + ".exe")) {
    GTEST_SKIP() << "patent-site executable not built";
  }
  platform::Process_Options o;
  o.argv = {executable(), "--port", "0", "--patents", "100"};
  o.standard_output = platform::Redirect::to_pipe();
  platform::Process site = platform::Process::start(o);
  const auto deadline = platform::Process_Clock::now() + std::chrono::minutes(1);
  std::string out;
  while (out.find('\n') == std::string::npos && site.read_output(out, deadline) == platform::Read_Result::data) {
  }
  std::erase(out, '\r');
  EXPECT_TRUE(std::regex_match(out, std::regex("patent-site listening on http://127\\.0\\.0\\.1:[0-9]+\n"))) << out;
#ifdef _WIN32
  // A console program is stopped by its console's Ctrl+C, which a pipe
  // cannot send; only the announcement is checked.
  site.kill_tree();
  site.wait();
#else
  kill(static_cast<pid_t>(site.id()), SIGTERM);
  EXPECT_EQ(site.wait().code, 0);
  while (site.read_output(out, deadline) == platform::Read_Result::data) {
  }
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "exactly one line: " << out;
#endif

  EXPECT_EQ(platform::run({executable(), "--port", "nope"}, std::chrono::minutes(1)).status.code, 2);
}

}  // namespace
}  // namespace travo::patent_site
