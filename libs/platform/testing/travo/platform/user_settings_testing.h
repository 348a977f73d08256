// Gives a test the user's settings to itself, so that neither the tester's
// own settings leak in nor the test's stay behind: XDG_CONFIG_HOME points at
// a private folder (children started later inherit it), and the site value,
// which lives in the registry on Windows, is put back as it was when the
// object goes. Make it before other threads read the environment.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "travo/platform/environment.h"
#include "travo/platform/temp_folder.h"
#include "travo/platform/user_settings.h"
#include "travo/platform/utf8.h"

namespace travo::platform::test_support {

class Private_User_Settings {
 public:
  Private_User_Settings()
      : saved_xdg_(environment_variable("XDG_CONFIG_HOME")),
        saved_site_(user_setting(kSiteSetting)),
        folder_(create_private_folder("travo-settings-")) {
    set_environment_variable("XDG_CONFIG_HOME", utf8_string(folder_));
    remove_user_setting(kSiteSetting);
  }
  ~Private_User_Settings() {
    try {
      if (saved_site_) set_user_setting(kSiteSetting, *saved_site_);
      else remove_user_setting(kSiteSetting);
    } catch (...) {
    }
    if (saved_xdg_) set_environment_variable("XDG_CONFIG_HOME", *saved_xdg_);
    else unset_environment_variable("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  Private_User_Settings(const Private_User_Settings&) = delete;
  Private_User_Settings& operator=(const Private_User_Settings&) = delete;

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::optional<std::string> saved_xdg_;
  std::optional<std::string> saved_site_;
  std::filesystem::path folder_;
};

}  // namespace travo::platform::test_support
