// The search site's address, as both programs (travo and travo-search) take
// it. The first of these that is given wins:
//
//   1. the option --site URL (or --site=URL);
//   2. the environment variable TRAVO_SITE (empty counts as unset);
//   3. the user's setting (the registry value HKEY_CURRENT_USER\Software\TRAVO
//      "Site" on Windows, which the installer writes; "site=URL" in
//      ${XDG_CONFIG_HOME:-$HOME/.config}/travo/settings elsewhere);
//   4. the bundled local site's address, http://127.0.0.1:8631.
//
// The chosen address must start with http:// or https:// and name a host;
// anything else is refused with one message naming the address and where
// it came from. The lower places are not checked once a higher one gives
// an address (a broken setting does not stop a run with --site).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace travo::app {

enum class Site_Source { option, environment, setting, built_in };

// What the programs read at start-up, before choosing.
struct Site_Inputs {
  std::optional<std::string> option;       // --site
  std::optional<std::string> environment;  // TRAVO_SITE
  std::optional<std::string> setting;      // the user's setting
  std::string setting_place;               // where the setting lives, for messages
  bool setting_in_registry = false;        // Windows: the installer writes it
  std::string setting_error;               // why the setting could not be read ("" when it could)
};

// TRAVO_SITE and the user's setting (`option` left unset).
Site_Inputs read_site_inputs();

// When args[i] is "--site VALUE" or "--site=VALUE": stores the value in
// `site`, moves i to the last argument used and returns true. Throws
// std::invalid_argument("--site 需要一個位址") when the value is missing.
bool take_site_option(std::span<const std::string> args, size_t& i, std::optional<std::string>& site);

struct Site {
  std::string address;
  Site_Source source = Site_Source::built_in;
  // Where the address came from and where to change it, as the worker
  // appends it to its message when the site cannot be reached
  // ("來自環境變數 TRAVO_SITE").
  std::string where;
};

// Chooses the address by the order above. Throws std::invalid_argument with
//   檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ADDRESS（來自 WHERE）
// or, when the setting is the one to use but cannot be read, that failure.
Site choose_site(const Site_Inputs& inputs);

// The help line's explanation of --site.
std::string site_option_help();

}  // namespace travo::app
