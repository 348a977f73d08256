#include "travo/platform/user_settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "travo/platform/environment.h"
#include "travo/platform/user_settings_testing.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

TEST(UserSettings, WrittenValuesAreReadBackReplacedAndRemoved) {
  test_support::Private_User_Settings settings;
  EXPECT_EQ(user_setting(kSiteSetting), std::nullopt);
  remove_user_setting(kSiteSetting);  // removing what is not there is no failure

  set_user_setting(kSiteSetting, "http://127.0.0.1:9/");
  EXPECT_EQ(user_setting(kSiteSetting), "http://127.0.0.1:9/");
  set_user_setting(kSiteSetting, "https://檢索.example");
  EXPECT_EQ(user_setting(kSiteSetting), "https://檢索.example");
  set_user_setting(kSiteSetting, "");
  EXPECT_EQ(user_setting(kSiteSetting), std::nullopt);  // empty counts as not set
  set_user_setting(kSiteSetting, "http://a");
  remove_user_setting(kSiteSetting);
  EXPECT_EQ(user_setting(kSiteSetting), std::nullopt);

  const std::string place = user_setting_place(kSiteSetting);
  if (user_settings_in_registry()) {
    EXPECT_EQ(place, "HKEY_CURRENT_USER\\Software\\TRAVO\\Site");
  } else {
    EXPECT_EQ(place, utf8_string(settings.folder() / "travo" / "settings") + " 的 site=");
  }
}

// The file as a person edits it: comments, spaces, other keys, a key given
// twice. Writing one key keeps the other lines.
TEST(UserSettings, TheSettingsFileIsReadAsAPersonWritesIt) {
  test_support::Private_User_Settings settings;
  if (user_settings_in_registry()) GTEST_SKIP() << "the settings live in the registry here";
  const std::filesystem::path file = settings.folder() / "travo" / "settings";
  std::filesystem::create_directories(file.parent_path());
  {
    std::ofstream out(file, std::ios::binary);
    out << "# TRAVO\n\n  sites = http://not-this\nsite=http://first\r\n  site =  http://127.0.0.1:8631  \nother=1\n";
  }
  EXPECT_EQ(user_setting(kSiteSetting), "http://127.0.0.1:8631");

  set_user_setting(kSiteSetting, "http://new");
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}),
            "# TRAVO\n\n  sites = http://not-this\nother=1\nsite=http://new\n");
}

TEST(UserSettings, WithoutAHomeThereAreNoSettings) {
  test_support::Private_User_Settings settings;
  if (user_settings_in_registry()) GTEST_SKIP() << "the settings live in the registry here";
  const std::optional<std::string> home = environment_variable("HOME");
  unset_environment_variable("XDG_CONFIG_HOME");
  unset_environment_variable("HOME");
  EXPECT_EQ(user_setting(kSiteSetting), std::nullopt);
  EXPECT_THROW(set_user_setting(kSiteSetting, "http://a"), User_Settings_Error);
  if (home) set_environment_variable("HOME", *home);
}

}  // namespace
}  // namespace travo::platform
