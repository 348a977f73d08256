#include "site_option.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "travo/platform/environment.h"
#include "travo/platform/user_settings.h"
#include "travo/platform/user_settings_testing.h"

namespace travo::app {
namespace {

std::string refusal(const Site_Inputs& inputs) {
  try {
    choose_site(inputs);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(SiteOption, OptionThenEnvironmentThenSettingThenTheBuiltInAddress) {
  Site_Inputs in;
  in.setting_place = "S";
  Site site = choose_site(in);
  EXPECT_EQ(site.address, "http://127.0.0.1:8631");
  EXPECT_EQ(site.source, Site_Source::built_in);
  EXPECT_EQ(site.where, "為預設值，可用 --site、環境變數 TRAVO_SITE 或使用者設定 S 更改");

  in.setting = "https://setting.example";
  site = choose_site(in);
  EXPECT_EQ(site.address, "https://setting.example");
  EXPECT_EQ(site.where, "來自使用者設定 S");
  in.setting_in_registry = true;
  EXPECT_EQ(choose_site(in).where, "來自使用者設定 S（重新執行安裝程式或修改該登錄值即可更改）");

  in.environment = "";  // empty counts as unset
  EXPECT_EQ(choose_site(in).source, Site_Source::setting);
  in.environment = "http://env:1";
  site = choose_site(in);
  EXPECT_EQ(site.address, "http://env:1");
  EXPECT_EQ(site.where, "來自環境變數 TRAVO_SITE");

  in.option = "http://option:2";
  site = choose_site(in);
  EXPECT_EQ(site.address, "http://option:2");
  EXPECT_EQ(site.where, "來自命令列選項 --site");
}

TEST(SiteOption, ABadAddressIsRefusedNamingWhereItCameFromAndOnlyWhenItIsTheOneUsed) {
  Site_Inputs in;
  in.setting_place = "S";
  in.setting = "ftp://x";
  EXPECT_EQ(refusal(in), "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ftp://x（來自使用者設定 S）");
  in.environment = "127.0.0.1:8631";
  EXPECT_EQ(refusal(in), "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: 127.0.0.1:8631（來自環境變數 TRAVO_SITE）");
  in.option = "http://";
  EXPECT_EQ(refusal(in), "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: http://（來自命令列選項 --site）");
  in.option = "https://ok.example";
  EXPECT_EQ(refusal(in), "(accepted)");

  // A setting that cannot be read stops only a run that would use it.
  Site_Inputs broken;
  broken.setting_error = "登錄值 X 不是文字（REG_SZ）";
  EXPECT_EQ(refusal(broken), "登錄值 X 不是文字（REG_SZ）");
  broken.environment = "http://env:1";
  EXPECT_EQ(refusal(broken), "(accepted)");
}

TEST(SiteOption, TheOptionTakesItsValueNextOrAfterAnEqualsSign) {
  const std::vector<std::string> args{"a", "--site", "http://x", "--site=http://y", "--site"};
  std::optional<std::string> site;
  size_t i = 0;
  EXPECT_FALSE(take_site_option(args, i, site));
  i = 1;
  EXPECT_TRUE(take_site_option(args, i, site));
  EXPECT_EQ(i, 2u);
  EXPECT_EQ(site, "http://x");
  i = 3;
  EXPECT_TRUE(take_site_option(args, i, site));
  EXPECT_EQ(i, 3u);
  EXPECT_EQ(site, "http://y");
  i = 4;
  EXPECT_THROW(take_site_option(args, i, site), std::invalid_argument);
}

// The real places: the environment and the user's setting (the registry on
// Windows), written here and put back afterwards.
TEST(SiteOption, ReadsTheEnvironmentAndTheUsersSetting) {
  platform::test_support::Private_User_Settings settings;
  const std::optional<std::string> saved_env = platform::environment_variable("TRAVO_SITE");
  platform::unset_environment_variable("TRAVO_SITE");

  EXPECT_EQ(choose_site(read_site_inputs()).address, "http://127.0.0.1:8631");
  platform::set_user_setting(platform::kSiteSetting, "http://127.0.0.1:9");
  Site_Inputs in = read_site_inputs();
  EXPECT_EQ(in.setting_place, platform::user_setting_place(platform::kSiteSetting));
  Site site = choose_site(in);
  EXPECT_EQ(site.address, "http://127.0.0.1:9");
  EXPECT_EQ(site.source, Site_Source::setting);
  EXPECT_NE(site.where.find(in.setting_place), std::string::npos) << site.where;

  platform::set_environment_variable("TRAVO_SITE", "https://env.example");
  EXPECT_EQ(choose_site(read_site_inputs()).address, "https://env.example");

  platform::unset_environment_variable("TRAVO_SITE");
  platform::set_user_setting(platform::kSiteSetting, "ftp://x");
  EXPECT_NE(refusal(read_site_inputs()).find("ftp://x（來自使用者設定 " + in.setting_place + "）"), std::string::npos);

  if (saved_env) platform::set_environment_variable("TRAVO_SITE", *saved_env);
}

}  // namespace
}  // namespace travo::app
