// Child processes as the converter and the tests use them: what reaches the
// child, what comes back, and that nothing it starts outlives a kill.
#include "travo/platform/process.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "travo/platform/process_testing.h"
#include "travo/platform/temp_folder.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using ::testing::HasSubstr;
using test_support::eventually;
using test_support::process_gone;

// Far above what any of these children needs, even on a loaded machine.
constexpr milliseconds kBound = seconds(120);

std::vector<std::string> helper(std::vector<std::string> args) {
  args.insert(args.begin(), TRAVO_PROCESS_HELPER);
  return args;
}

Process_Options helper_options(std::vector<std::string> args) {
  Process_Options o;
  o.argv = helper(std::move(args));
  return o;
}

fs::path utf8_path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = create_private_folder("process-test-"); }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ProcessTest, ExitStatusAndCapturedStreams) {
  Run_Result r = run(helper({"exit", "3"}), kBound);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status.code, 3);
  EXPECT_FALSE(r.status.success());
  EXPECT_EQ(r.status.describe(), "exit code 3");
  EXPECT_TRUE(run(helper({"exit", "0"}), kBound).status.success());

  r = run(helper({"streams", "to out", "to err"}), kBound);
  EXPECT_TRUE(r.status.success()) << r.status.describe();
  EXPECT_EQ(r.output, "to out");
  EXPECT_EQ(r.error, "to err");

  Process_Options merged = helper_options({"streams", "A", "B"});
  merged.error_to_output = true;
  r = run(merged, kBound);
  EXPECT_THAT(r.output, ::testing::AnyOf("AB", "BA"));
  EXPECT_EQ(r.error, "");

  // More than any pipe buffer holds, both ways at once.
  const std::string big(1 << 20, 'x');
  r = run(helper_options({"echo"}), kBound, big);
  EXPECT_EQ(r.output.size(), big.size());
  EXPECT_EQ(r.output, big);
}

TEST_F(ProcessTest, ArgumentsReachTheChildIntact) {
  const std::vector<std::string> args = {
      "石墨烯 檢索", "plain", "", "with space", "tab\there", "quote\"inside", "\"quoted\"",
      "back\\slash", "trailing\\", "trailing space\\ ", "\\\\server\\share\\", "C:/corvana/TRAVO專利檢索軟體/",
      "a\\\"b", "%PATH%", "^&|<>"};
  std::vector<std::string> argv = {"args"};
  argv.insert(argv.end(), args.begin(), args.end());
  Run_Result r = run(helper(argv), kBound);
  ASSERT_TRUE(r.status.success()) << r.status.describe() << " " << r.error;
  std::string expected;
  for (const std::string& a : args) expected += a + "\n";
  EXPECT_EQ(r.output, expected);
}

TEST_F(ProcessTest, ProgramAndFoldersWithChineseNamesAndSpaces) {
  const fs::path folder = dir_ / utf8_path("專利 檢索 folder");
  fs::create_directories(folder);
  Process_Options o = helper_options({"cwd"});
  o.working_directory = folder;
  Run_Result r = run(o, kBound);
  ASSERT_TRUE(r.status.success()) << r.status.describe() << " " << r.error;
  EXPECT_EQ(fs::equivalent(utf8_path(r.output), folder), true) << r.output;

  // Output and input files by such names.
  const fs::path out = folder / utf8_path("輸出 檔.txt");
  std::ofstream(folder / utf8_path("輸入 檔.txt"), std::ios::binary) << "fed from a file";
  o = helper_options({"echo"});
  o.standard_input = Redirect::to_file(folder / utf8_path("輸入 檔.txt"));
  o.standard_output = Redirect::to_file(out);
  Process p = Process::start(o);
  EXPECT_TRUE(p.wait().success());
  EXPECT_EQ(read_file(out), "fed from a file");

  o = helper_options({"streams", "+more", "+err"});
  o.standard_output = Redirect::to_file(out, true);
  o.standard_error = Redirect::to_file(out, true);
  EXPECT_TRUE(Process::start(o).wait().success());
  EXPECT_THAT(read_file(out), ::testing::AnyOf("fed from a file+more+err", "fed from a file+err+more"));
}

TEST_F(ProcessTest, EnvironmentIsAddedOverriddenAndRemoved) {
  Process_Options o = helper_options({"env", "TRAVO_PROCESS_TEST"});
  EXPECT_EQ(run(o, kBound).output, "<unset>");
  o.environment = {{"TRAVO_PROCESS_TEST", "值 value"}};
  EXPECT_EQ(run(o, kBound).output, "值 value");

  // Replacing and removing what this process has.
  o = helper_options({"env", "PATH"});
  const std::string ours = run(o, kBound).output;
  ASSERT_NE(ours, "<unset>");
  o.environment = {{"PATH", "replaced"}};
  EXPECT_EQ(run(o, kBound).output, "replaced");
  o.environment.clear();
  o.remove_environment = {"PATH"};
  EXPECT_EQ(run(o, kBound).output, "<unset>");
}

TEST_F(ProcessTest, FailuresToStartNameTheProgram) {
  const fs::path missing = dir_ / "no-such-program";
  try {
    Process_Options o;
    o.argv = {missing.string()};
    Process::start(o);
    FAIL() << "no exception";
  } catch (const Process_Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("no-such-program"));
  }
  Process_Options o = helper_options({"cwd"});
  o.working_directory = dir_ / "no-such-folder";
  EXPECT_THROW(Process::start(o), Process_Error);
  o = helper_options({"echo"});
  o.standard_input = Redirect::to_file(dir_ / "no-such-input");
  try {
    Process::start(o);
    FAIL() << "no exception";
  } catch (const Process_Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("no-such-input"));
  }
  EXPECT_THROW(Process::start(Process_Options{}), std::invalid_argument);
}

TEST_F(ProcessTest, PipesReadWithDeadlinesAndSeeTheEnd) {
  Process_Options o = helper_options({"echo"});
  o.standard_input = Redirect::to_pipe();
  o.standard_output = Redirect::to_pipe();
  Process p = Process::start(o);
  std::string got;
  EXPECT_EQ(p.read_output(got, Process_Clock::now() + milliseconds(20)), Read_Result::timeout);
  ASSERT_TRUE(p.write_input("line one\n"));
  p.close_input();
  while (p.read_output(got, Process_Clock::now() + kBound) == Read_Result::data) {
  }
  EXPECT_EQ(got, "line one\n");
  EXPECT_TRUE(p.wait().success());

  // Writing to a child that is gone fails instead of killing us.
  o = helper_options({"exit", "0"});
  o.standard_input = Redirect::to_pipe();
  Process gone = Process::start(o);
  ASSERT_TRUE(gone.wait_for(kBound));
  EXPECT_FALSE(gone.write_input(std::string(1 << 20, 'x')));
}

TEST_F(ProcessTest, TimeOutKillsTheChild) {
  Run_Result r = run(helper({"hang"}), milliseconds(100));
  EXPECT_TRUE(r.timed_out);
  EXPECT_FALSE(r.status.success());
#ifdef _WIN32
  EXPECT_EQ(r.status.code, kKilledExitCode);
#else
  EXPECT_EQ(r.status.describe(), "killed by signal SIGKILL");
#endif

  Process p = Process::start(helper_options({"hang"}));
  EXPECT_FALSE(p.wait_for(milliseconds(20)));
  EXPECT_FALSE(p.has_exited());
  EXPECT_FALSE(p.exit_status().has_value());
  EXPECT_TRUE(p.kill_tree_and_wait(kBound));
  EXPECT_TRUE(p.exit_status().has_value());
}

// The grandchild is started the plain way (no group or job of its own), as
// LibreOffice's launcher starts the office; killing the tree must reach it,
// whether by kill_tree() or by letting go of the Process.
TEST_F(ProcessTest, KillingTheTreeReachesGrandchildren) {
  for (const bool by_destructor : {false, true}) {
    SCOPED_TRACE(by_destructor ? "destructor" : "kill_tree");
    Process_Options o = helper_options({"grandchild"});
    o.standard_output = Redirect::to_pipe();
    auto p = std::make_unique<Process>(Process::start(o));
    std::string line;
    while (line.find('\n') == std::string::npos) {
      ASSERT_EQ(p->read_output(line, Process_Clock::now() + kBound), Read_Result::data) << line;
    }
    const auto grandchild = static_cast<Process_Id>(std::stoul(line));
    const Process_Id child = p->id();
    EXPECT_FALSE(process_gone(grandchild));
    if (by_destructor) {
      p.reset();
    } else {
      p->kill_tree();
      EXPECT_TRUE(p->wait_for(kBound));
      // The pipe's last writer was the grandchild's inherited copy.
      std::string rest;
      EXPECT_EQ(p->read_output(rest, Process_Clock::now() + kBound), Read_Result::end);
    }
    EXPECT_TRUE(eventually([&] { return process_gone(grandchild); })) << "grandchild " << grandchild;
    EXPECT_TRUE(eventually([&] { return process_gone(child); }));
  }
}

TEST_F(ProcessTest, DiesWithTheThreadThatStartedIt) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows dies_with_parent ties the child to a job, not to the starting thread";
#endif
  Process_Options o = helper_options({"hang"});
  o.dies_with_parent = true;
  Process p;
  std::thread([&] { p = Process::start(o); }).join();
  ASSERT_TRUE(p.wait_for(kBound));
  EXPECT_EQ(p.exit_status()->describe(), "killed by signal SIGKILL");
}

TEST(TempFolder, PrivateFoldersAreNewAndUnique) {
  const fs::path a = create_private_folder("tf-");
  const fs::path b = create_private_folder("tf-", a);
  EXPECT_TRUE(fs::is_directory(a));
  EXPECT_TRUE(fs::is_directory(b));
  EXPECT_EQ(b.parent_path(), a);
  EXPECT_EQ(a.filename().string().rfind("tf-", 0), 0u);
  EXPECT_TRUE(fs::is_empty(b));
#ifndef _WIN32
  EXPECT_EQ(fs::status(a).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
  fs::remove_all(a);
  EXPECT_THROW(create_private_folder("tf-", a / "missing"), std::system_error);
}

}  // namespace
}  // namespace travo::platform
