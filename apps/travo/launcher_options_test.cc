#include "launcher_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace travo::app {
namespace {

Launcher_Options parse(std::vector<std::string> args, Launcher_Environment env = {}) {
  return parse_launcher_options(args, env);
}

TEST(LauncherOptions, SiteComesFromTheCommandLineThenTheEnvironmentThenTheDefault) {
  EXPECT_EQ(parse({}).site, "http://127.0.0.1:8631");
  EXPECT_EQ(parse({}, {"http://env:1", ""}).site, "http://env:1");
  EXPECT_EQ(parse({"--site", "http://cli:2"}, {"http://env:1", ""}).site, "http://cli:2");
  EXPECT_EQ(parse({"--site=https://cli:3"}).site, "https://cli:3");

  EXPECT_EQ(parse({}).product_host, "localhost");
  EXPECT_EQ(parse({}, {"", "www.example.com"}).product_host, "www.example.com");
  EXPECT_EQ(parse({"--product-host", "a.example"}, {"", "www.example.com"}).product_host, "a.example");

  const Launcher_Options preview = parse({"--preview"});
  EXPECT_TRUE(preview.preview);
  EXPECT_FALSE(preview.help);
  EXPECT_TRUE(parse({"-h"}).help);
}

TEST(LauncherOptions, BadUsageIsRejectedWithTheOffendingArgument) {
  auto message = [](std::vector<std::string> args, Launcher_Environment env = {}) -> std::string {
    try {
      parse(args, env);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
    return "(accepted)";
  };
  EXPECT_NE(message({"--site"}).find("--site"), std::string::npos);
  EXPECT_NE(message({"--verbose"}).find("--verbose"), std::string::npos);
  EXPECT_NE(message({"石墨烯"}).find("石墨烯"), std::string::npos);
  EXPECT_NE(message({"--site", "127.0.0.1:8631"}).find("127.0.0.1:8631"), std::string::npos);
  EXPECT_NE(message({}, {"ftp://x", ""}).find("ftp://x"), std::string::npos);
  EXPECT_NE(message({"--product-host", "https://a.example"}).find("--product-host"), std::string::npos);
}

// The help text as users read it, with the defaults spelled out.
TEST(LauncherOptions, UsageNamesTheSearchListAndTheDefaults) {
  EXPECT_EQ(usage(),
            "用法: travo [--site URL] [--product-host HOST] [--preview]\n"
            "\n"
            "開啟 TRAVO專利檢索軟體 的主視窗：輸入檢索指令後按「輸出檢索列表」，\n"
            "檢索列表寫入 C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx\n"
            "（非 Windows 系統上 C:/corvana/ 對應到環境變數 CORVANA_ROOT，預設 $HOME/corvana/）。\n"
            "\n"
            "選項:\n"
            "  --site URL           檢索網站的基本位址（預設：環境變數 TRAVO_SITE，否則 http://127.0.0.1:8631）\n"
            "  --product-host HOST  產品網頁的主機名稱（預設：環境變數 TRAVO_PRODUCT_HOST，否則 localhost）\n"
            "  --preview            只開啟視窗預覽，不啟動檢索程序\n"
            "  --help               顯示本說明\n"
            "\n"
            "結束代碼: 0 視窗正常關閉，1 視窗無法建立，2 用法錯誤。\n");
}

}  // namespace
}  // namespace travo::app
