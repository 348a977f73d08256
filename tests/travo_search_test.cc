// travo-search as a user runs it: exit codes and what it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "travo/patent_site/patent_site.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/utf8.h"

namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;

struct Cli_Result {
  int status = -1;
  std::string out;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs travo-search with `args` (UTF-8, as a user types them) and `env`
// added to this process's environment; standard output is captured.
Cli_Result run(std::vector<std::string> args, const Environment& env = {}) {
  const std::string dir = platform::environment_variable("TRAVO_BIN_DIR").value_or("bin");
  platform::Process_Options o;
  o.argv = {dir + "/travo-search"};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.environment = env;
  const platform::Run_Result r = platform::run(o, std::chrono::minutes(5));
  Cli_Result result{r.status.code, r.output};
  // Windows' text-mode streams end lines with CR LF.
  std::erase(result.out, '\r');
  return result;
}

class TravoSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("travo_search_test_" + std::to_string(platform::current_process_id()));
    fs::remove_all(root_);
    env_ = {{"CORVANA_ROOT", platform::utf8_string(root_)}, {"TRAVO_SITE", ""}};
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
  Environment env_;
};

TEST_F(TravoSearchTest, SearchCompletesAndCreatesTheOutputFolder) {
  travo::patent_site::Patent_Site site;
  Cli_Result r = run({"--site", site.base_url(), "憶阻器"}, env_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("檢索專利共 3 筆\n\n檢索專利如下:\n\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - std::string("\n完成\n").size()), "\n完成\n");
  EXPECT_TRUE(fs::exists(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx")));

  // The site may also come from TRAVO_SITE; the words are joined by spaces.
  Cli_Result env_site = run({"LiDAR", "lidar"}, {{"CORVANA_ROOT", platform::utf8_string(root_)}, {"TRAVO_SITE", site.base_url()}});
  EXPECT_EQ(env_site.status, 0);
  EXPECT_NE(env_site.out.find("檢索專利共 7 筆"), std::string::npos) << env_site.out;
}

TEST_F(TravoSearchTest, FailureExitsWithOne) {
  Cli_Result r = run({"--site", "http://127.0.0.1:1", "石墨烯"}, env_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("連線檢索網站失敗"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n完成\n"), std::string::npos);
}

TEST_F(TravoSearchTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(run({}, env_).status, 2);
  EXPECT_EQ(run({"--site"}, env_).status, 2);
  EXPECT_EQ(run({"--bogus", "石墨烯"}, env_).status, 2);
  Cli_Result help = run({"--help"}, env_);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--site"), std::string::npos);
  EXPECT_EQ(run({"--site", "ftp://x", "石墨烯"}, env_).status, 1);  // reported by the worker
}

}  // namespace
