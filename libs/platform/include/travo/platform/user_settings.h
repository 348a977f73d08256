// The user's own settings of TRAVO, kept where each system keeps such things:
//
//   Windows    text values (REG_SZ) under HKEY_CURRENT_USER\Software\TRAVO,
//              the key the installer writes and the uninstaller removes;
//   elsewhere  lines "key=value" in ${XDG_CONFIG_HOME:-$HOME/.config}/travo/settings
//              (blank lines and lines starting with '#' are ignored; spaces
//              around key and value are dropped; the last line of a key wins).
//
// A setting has one name per place (the registry's "Site", the file's
// "site"). Values are UTF-8; an empty value counts as not set. Reading is
// meant for the executables, once at start-up; the values are passed on
// from there.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace travo::platform {

struct Setting_Name {
  std::string_view registry_value;  // under HKEY_CURRENT_USER\Software\TRAVO
  std::string_view file_key;        // in the settings file
};

// The search site's base address.
inline constexpr Setting_Name kSiteSetting{"Site", "site"};

// A setting that exists but cannot be read (a registry value that is not
// text, a settings file that cannot be opened). The message names the place.
class User_Settings_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The value of `name`; std::nullopt when it is not set (or empty, or there
// is no place for settings at all, e.g. no HOME). Throws User_Settings_Error.
std::optional<std::string> user_setting(const Setting_Name& name);

// Where `name` lives, as the user would look for it: the registry value on
// Windows ("HKEY_CURRENT_USER\Software\TRAVO\Site"), the file and key
// elsewhere ("/home/u/.config/travo/settings 的 site=").
std::string user_setting_place(const Setting_Name& name);

// Whether the settings live in the registry (written by the installer).
bool user_settings_in_registry();

// Writes or removes `name` (the settings file is replaced atomically, its
// folder created). For tests and tools; TRAVO itself only reads. Throws
// User_Settings_Error.
void set_user_setting(const Setting_Name& name, std::string_view value);
void remove_user_setting(const Setting_Name& name);

}  // namespace travo::platform
