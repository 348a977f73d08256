#include "launcher_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace travo::app {
namespace {

Launcher_Options parse(std::vector<std::string> args, Launcher_Environment env = {}) {
  return parse_launcher_options(args, env);
}

Launcher_Environment env(std::optional<std::string> site, std::string product_host = "",
                         std::optional<std::string> setting = std::nullopt) {
  Launcher_Environment e;
  e.site.environment = std::move(site);
  e.site.setting = std::move(setting);
  e.site.setting_place = "S";
  e.product_host = std::move(product_host);
  return e;
}

TEST(LauncherOptions, SiteComesFromTheCommandLineThenTheEnvironmentThenTheSettingThenTheDefault) {
  EXPECT_EQ(parse({}).site, "http://127.0.0.1:8631");
  EXPECT_EQ(parse({}, env(std::nullopt, "", "http://setting:4")).site, "http://setting:4");
  EXPECT_EQ(parse({}, env(std::nullopt, "", "http://setting:4")).site_where, "來自使用者設定 S");
  EXPECT_EQ(parse({}, env("http://env:1", "", "http://setting:4")).site, "http://env:1");
  EXPECT_EQ(parse({"--site", "http://cli:2"}, env("http://env:1")).site, "http://cli:2");
  EXPECT_EQ(parse({"--site", "http://cli:2"}, env("http://env:1")).site_where, "來自命令列選項 --site");
  EXPECT_EQ(parse({"--site=https://cli:3"}).site, "https://cli:3");

  EXPECT_EQ(parse({}).product_host, "localhost");
  EXPECT_EQ(parse({}, env(std::nullopt, "www.example.com")).product_host, "www.example.com");
  EXPECT_EQ(parse({"--product-host", "a.example"}, env(std::nullopt, "www.example.com")).product_host, "a.example");

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
  EXPECT_EQ(message({}, env("ftp://x")),
            "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ftp://x（來自環境變數 TRAVO_SITE）");
  EXPECT_NE(message({}, env(std::nullopt, "", "ftp://y")).find("ftp://y（來自使用者設定 S）"), std::string::npos);
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
            "  --site URL           檢索網站的基本位址（預設：環境變數 TRAVO_SITE，其次使用者設定，否則 http://127.0.0.1:8631）\n"
            "  --product-host HOST  產品網頁的主機名稱（預設：環境變數 TRAVO_PRODUCT_HOST，否則 localhost）\n"
            "  --preview            只開啟視窗預覽，不啟動檢索程序\n"
            "  --help               顯示本說明\n"
            "\n"
            "結束代碼: 0 視窗正常關閉，1 視窗無法建立，2 用法錯誤。\n");
}

}  // namespace
}  // namespace travo::app
