#include "travo/patent_site/command_line.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <vector>

extern char** environ;

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

  const Options blocked = parse({"--captcha-page", "3", "--maintenance"}).options;
  EXPECT_EQ(blocked.captcha_page, 3);
  EXPECT_TRUE(blocked.maintenance);
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

// Runs the executable with `args`; returns its pid and a stream on its stdout.
struct Child {
  pid_t pid = -1;
  FILE* out = nullptr;
};

Child spawn(std::vector<std::string> args) {
  const char* dir = std::getenv("TRAVO_BIN_DIR");
  const std::string exe = std::string(dir ? dir : ".") + "/patent-site";
  args.insert(args.begin(), exe);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Child child;
  if (posix_spawn(&child.pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) child.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  child.out = fdopen(fds[0], "r");
  return child;
}

int exit_code(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Executable, AnnouncesItsAddressAndStopsOnSigterm) {
  const char* dir = std::getenv("TRAVO_BIN_DIR");
  if (!dir || !std::filesystem::exists(std::string(dir) + "/patent-site")) {
    GTEST_SKIP() << "patent-site executable not built";
  }
  Child child = spawn({"--port", "0", "--patents", "100"});
  ASSERT_GT(child.pid, 0);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, child.out), nullptr);
  EXPECT_TRUE(std::regex_match(line, std::regex("patent-site listening on http://127\\.0\\.0\\.1:[0-9]+\n")))
      << line;
  kill(child.pid, SIGTERM);
  EXPECT_EQ(exit_code(child.pid), 0);
  EXPECT_EQ(std::fgetc(child.out), EOF) << "exactly one line";
  std::fclose(child.out);

  Child bad = spawn({"--port", "nope"});
  ASSERT_GT(bad.pid, 0);
  EXPECT_EQ(exit_code(bad.pid), 2);
  std::fclose(bad.out);
}

}  // namespace
}  // namespace travo::patent_site
