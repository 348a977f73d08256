// Process plumbing the converter depends on for not leaking descriptors or
// processes.
#include "subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "eventually.h"

namespace platen_model::detail {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using test_support::eventually;

class SubprocessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/platen-sub-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string read(const fs::path& p) {
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Runs `req` (argv set by the caller) with stdout and stderr into `out`;
  // returns its wait status.
  int run(Spawn_Request req, const fs::path& out) {
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    req.fds.insert(req.fds.begin(), {{fd, 1}, {fd, 2}});
    pid_t pid = spawn(req);
    close(fd);
    EXPECT_TRUE(wait_exit(pid, Clock::now() + std::chrono::seconds(60)));
    return reap(pid);
  }

  // Runs `script` with /bin/sh.
  int run_sh(const std::string& script, const fs::path& out, Spawn_Request req = {}) {
    req.argv = {"/bin/sh", "-c", script};
    return run(std::move(req), out);
  }

  fs::path dir_;
};

TEST_F(SubprocessTest, ChildSeesOnlyTheDescriptorsHandedToIt) {
  int leaked = open("/dev/null", O_RDONLY);  // deliberately inheritable
  ASSERT_GE(leaked, 0);
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  // The child lists its own descriptors itself: a shell doing it would
  // count those of its own pipeline, too.
  Spawn_Request req;
  req.argv = {PLATEN_LIST_FDS};
  req.fds = {{pipe_fds[0], 3}};
  int status = run(req, dir_ / "fds");
  close(leaked);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  EXPECT_EQ(describe_status(status), "exit code 0");
  EXPECT_EQ(read(dir_ / "fds"), "0 1 2 3 ");
}

TEST_F(SubprocessTest, EnvironmentEntriesReplaceInheritedOnes) {
  setenv("PLATEN_SUB_TEST", "inherited", 1);
  Spawn_Request req;
  req.env = {"PLATEN_SUB_TEST=replaced", "TMPDIR=/elsewhere"};
  run_sh("env | grep -E '^(PLATEN_SUB_TEST|TMPDIR)=' | sort", dir_ / "env", req);
  unsetenv("PLATEN_SUB_TEST");
  EXPECT_EQ(read(dir_ / "env"), "PLATEN_SUB_TEST=replaced\nTMPDIR=/elsewhere\n");
}

TEST_F(SubprocessTest, UnrunnableProgramThrowsWithItsName) {
  Spawn_Request req;
  req.argv = {(dir_ / "missing-program").string()};
  try {
    spawn(req);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("missing-program"));
    EXPECT_THAT(e.what(), HasSubstr("No such file"));
  }
}

TEST_F(SubprocessTest, KillingTheGroupReachesGrandchildren) {
  fs::path pid_file = dir_ / "grandchild";
  Spawn_Request req;
  req.argv = {"/bin/sh", "-c", "sleep 300 & echo $! > '" + pid_file.string() + "'; wait"};
  pid_t pid = spawn(req);
  // The shell writes the file in two steps: wait for the whole line.
  ASSERT_TRUE(eventually([&] { return read(pid_file).find('\n') != std::string::npos; }));
  pid_t grandchild = std::stoi(read(pid_file));
  EXPECT_FALSE(wait_exit(pid, Clock::now() + std::chrono::milliseconds(50)));
  EXPECT_FALSE(has_exited(pid));

  kill_and_reap(pid, std::chrono::seconds(60));
  EXPECT_TRUE(eventually([&] {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    return text.empty() || text.find(") Z") != std::string::npos;
  }));
  EXPECT_EQ(kill(pid, 0), -1);  // reaped, not a zombie
}

TEST_F(SubprocessTest, StatusesAndLogTailsReadWell) {
  EXPECT_EQ(describe_status(run_sh("exit 3", dir_ / "o")), "exit code 3");
  EXPECT_EQ(describe_status(run_sh("kill -9 $$", dir_ / "o")), "killed by signal SIGKILL");

  std::string log;
  for (int i = 0; i < 500; ++i) log += "line " + std::to_string(i) + "\n";
  std::ofstream(dir_ / "log") << log << "\n\n";
  std::string tail = file_tail(dir_ / "log", 40);
  EXPECT_EQ(tail.rfind("line ", 0), 0u) << "starts on a whole line: " << tail;
  EXPECT_EQ(tail.substr(tail.size() - 8), "line 499");
  EXPECT_EQ(file_tail(dir_ / "absent"), "");
}

}  // namespace
}  // namespace platen_model::detail
