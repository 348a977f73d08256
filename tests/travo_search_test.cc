// travo-search as a user runs it: exit codes and what it prints.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "travo/http/test_proxy.h"
#include "travo/patent_site/patent_site.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/process_testing.h"
#include "travo/platform/socket.h"
#include "travo/platform/user_settings.h"
#include "travo/platform/user_settings_testing.h"
#include "travo/platform/utf8.h"
#include "xlsx_test_support.h"

namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;

struct Cli_Result {
  int status = -1;
  std::string out;
  std::string err;
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
  Cli_Result result{r.status.code, r.output, r.error};
  // Windows' text-mode streams end lines with CR LF.
  std::erase(result.out, '\r');
  std::erase(result.err, '\r');
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
  fs::path list_path() const {
    return root_ / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx");
  }
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

// The site can also come from the user's setting (the registry value on
// Windows), with no option and no variable; an unreachable site is named
// with the place to change it.
TEST_F(TravoSearchTest, TheUsersSettingIsUsedAndAnUnreachableSiteIsNamedWithWhereItWasSet) {
  travo::platform::test_support::Private_User_Settings settings;
  travo::patent_site::Patent_Site site;
  platform::set_user_setting(platform::kSiteSetting, site.base_url());
  Cli_Result r = run({"憶阻器"}, env_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("檢索專利共 3 筆"), std::string::npos) << r.out;

  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(refusing);
  platform::set_user_setting(platform::kSiteSetting, unreachable);
  r = run({"石墨烯"}, env_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("連線檢索網站失敗（送出檢索）："), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("；檢索網站位址 " + unreachable + " 來自使用者設定 " +
                       platform::user_setting_place(platform::kSiteSetting)),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\n完成\n"), std::string::npos);

  // The option wins over the setting, and says so when it fails.
  r = run({"--site", unreachable, "石墨烯"}, env_);
  platform::close_socket(bound);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("；檢索網站位址 " + unreachable + " 來自命令列選項 --site\n"), std::string::npos) << r.out;

  // A bad setting is refused as bad usage, naming where it came from.
  platform::set_user_setting(platform::kSiteSetting, "ftp://x");
  r = run({"石墨烯"}, env_);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.err.find("travo-search: 檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ftp://x（來自使用者設定 " +
                       platform::user_setting_place(platform::kSiteSetting) + "）\n"),
            std::string::npos)
      << r.err;
}

// The proxy from the environment, as a user behind a firm's proxy sets it;
// the site has a name only the proxy knows.
TEST_F(TravoSearchTest, HttpProxyIsFollowedAndAnUnreachableOneIsNamed) {
  travo::patent_site::Patent_Site site;
  travo::http::test_support::Test_Proxy_Options po;
  po.address = "127.0.0.2";
  po.hosts = {{"patent-site.test", "127.0.0.1"}};
  travo::http::test_support::Test_Proxy proxy(po);
  const std::string named = "http://patent-site.test:" + std::to_string(site.port());
  Environment env = env_;
  env.emplace_back("http_proxy", proxy.url());
  Cli_Result r = run({"--site", named, "憶阻器"}, env);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("經由代理伺服器 " + proxy.url() + " 連線檢索網站；代理伺服器設定於環境變數 http_proxy\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("檢索專利共 3 筆"), std::string::npos) << r.out;
  EXPECT_EQ(static_cast<int>(proxy.requests().size()), site.request_count());

  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  env.back().second = "http://127.0.0.1:" + std::to_string(refusing);
  r = run({"--site", named, "憶阻器"}, env);
  platform::close_socket(bound);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("無法連線到代理伺服器 " + env.back().second + "（送出檢索）；代理伺服器設定於環境變數 http_proxy\n"),
            std::string::npos)
      << r.out;
}

TEST_F(TravoSearchTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(run({}, env_).status, 2);
  EXPECT_EQ(run({"--site"}, env_).status, 2);
  EXPECT_EQ(run({"--bogus", "石墨烯"}, env_).status, 2);
  Cli_Result help = run({"--help"}, env_);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--site"), std::string::npos);
  Cli_Result bad_site = run({"--site", "ftp://x", "石墨烯"}, env_);
  EXPECT_EQ(bad_site.status, 2);
  EXPECT_EQ(bad_site.err,
            "travo-search: 檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ftp://x（來自命令列選項 --site）\n");
}

TEST_F(TravoSearchTest, CtrlCStopsTheSearchSavesWhatWasReadAndExitsWith130) {
#ifdef _WIN32
  GTEST_SKIP() << "Ctrl-C reaches a console program through its console, which a pipe cannot give";
#else
  using travo::platform::Process;
  travo::patent_site::Options so;
  so.stall_page = 2;  // the search hangs inside the request for page 2
  travo::patent_site::Patent_Site site(so);
  travo::platform::Process_Options po;
  po.argv = {platform::environment_variable("TRAVO_BIN_DIR").value_or("bin") + "/travo-search", "--site", site.base_url(), "石墨烯"};
  po.environment = {{"CORVANA_ROOT", platform::utf8_string(root_)}};
  po.remove_environment = {"TRAVO_SITE"};
  po.standard_output = travo::platform::Redirect::to_pipe();
  Process p = Process::start(po);
  ASSERT_TRUE(travo::platform::test_support::eventually([&] { return site.page_fetches(2) == 1; }));
  ASSERT_EQ(kill(static_cast<pid_t>(p.id()), SIGINT), 0);

  // Bounds for a broken build only: the stop must not wait for the site.
  const auto deadline = travo::platform::Process_Clock::now() + std::chrono::seconds(120);
  std::string out;
  while (p.read_output(out, deadline) == travo::platform::Read_Result::data) {
  }
  ASSERT_TRUE(p.wait_until(deadline)) << out;
  const travo::platform::Exit_Status status = p.wait();
  EXPECT_EQ(status.code, 130) << status.describe() << "\n" << out;
  EXPECT_NE(out.find("\n已停止檢索，檢索列表含已讀取的 20 筆\n\n完成\n"), std::string::npos) << out;
  const auto rows = travo::harrow::test_support::sheet_rows(list_path());
  ASSERT_EQ(rows.size(), 21u);
  const auto& first = site.corpus()[site.search("石墨烯").at(0)];
  EXPECT_EQ(rows[1][0], first.publication_number);
#endif
}

TEST_F(TravoSearchTest, UnrecognisedPageExitsWithOneAndGenuineEmptySearchWithZero) {
  fs::create_directories(list_path().parent_path());
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  travo::patent_site::Options so;
  so.captcha_page = 0;
  travo::patent_site::Patent_Site captcha(so);
  Cli_Result r = run({"--site", captcha.base_url(), "石墨烯"}, env_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("檢索網站回覆了無法辨識的頁面（第 1 頁），可能網站維護中或已改版（安全驗證－請輸入驗證碼）\n"),
            std::string::npos)
      << r.out;
  {
    // Closed before the next search: Windows cannot replace a file held open.
    std::ifstream in(list_path(), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "previous list");
  }

  so = {};
  so.maintenance = true;
  travo::patent_site::Patent_Site maintenance(so);
  r = run({"--site", maintenance.base_url(), "石墨烯"}, env_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("（系統維護中）"), std::string::npos) << r.out;

  travo::patent_site::Patent_Site plain;
  r = run({"--site", plain.base_url(), "不存在的詞彙XYZ"}, env_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("無法辨識"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("專利數量 --> 0\n\n完成\n")) << r.out;
  EXPECT_EQ(travo::harrow::test_support::sheet_rows(list_path()).size(), 1u);

  // The same empty result page without any count: still an empty search.
  { std::ofstream(list_path(), std::ios::binary | std::ios::trunc) << "previous list"; }
  so = {};
  so.no_count_when_empty = true;
  travo::patent_site::Patent_Site countless(so);
  ASSERT_TRUE(countless.search("無結果").empty());
  r = run({"--site", countless.base_url(), "無結果"}, env_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("無法辨識"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("專利數量"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n完成\n")) << r.out;
  EXPECT_EQ(travo::harrow::test_support::sheet_rows(list_path()).size(), 1u);
}

}  // namespace
