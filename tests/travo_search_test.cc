// travo-search as a user runs it: exit codes and what it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "travo/patent_site/patent_site.h"
#include "travo/platform/utf8.h"

namespace {

namespace fs = std::filesystem;

struct Cli_Result {
  int status = -1;
  std::string out;
};

Cli_Result run(const std::string& args, const std::string& env = "") {
  const char* bin = std::getenv("TRAVO_BIN_DIR");
  const std::string dir = bin ? std::string(bin) : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string();
  const std::string cmd = env + " '" + dir + "/travo-search' " + args + " 2>/dev/null";
  Cli_Result r;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  return r;
}

class TravoSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("travo_search_test_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    env_ = "CORVANA_ROOT='" + root_.string() + "' TRAVO_SITE=";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
  std::string env_;
};

TEST_F(TravoSearchTest, SearchCompletesAndCreatesTheOutputFolder) {
  travo::patent_site::Patent_Site site;
  Cli_Result r = run("--site " + site.base_url() + " 憶阻器", env_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("檢索專利共 3 筆\n\n檢索專利如下:\n\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - std::string("\n完成\n").size()), "\n完成\n");
  EXPECT_TRUE(fs::exists(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx")));

  // The site may also come from TRAVO_SITE; the words are joined by spaces.
  Cli_Result env_site = run("LiDAR lidar", "CORVANA_ROOT='" + root_.string() + "' TRAVO_SITE=" + site.base_url());
  EXPECT_EQ(env_site.status, 0);
  EXPECT_NE(env_site.out.find("檢索專利共 7 筆"), std::string::npos) << env_site.out;
}

TEST_F(TravoSearchTest, FailureExitsWithOne) {
  Cli_Result r = run("--site http://127.0.0.1:1 石墨烯", env_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("連線檢索網站失敗"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n完成\n"), std::string::npos);
}

TEST_F(TravoSearchTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(run("", env_).status, 2);
  EXPECT_EQ(run("--site", env_).status, 2);
  EXPECT_EQ(run("--bogus 石墨烯", env_).status, 2);
  Cli_Result help = run("--help", env_);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--site"), std::string::npos);
  EXPECT_EQ(run("--site ftp://x 石墨烯", env_).status, 1);  // reported by the worker
}

}  // namespace
