#include "site_option.h"

#include <stdexcept>

#include "travo/harrow/spider_travo.h"
#include "travo/platform/environment.h"
#include "travo/platform/user_settings.h"

namespace travo::app {
namespace {

bool is_site_address(const std::string& address) {
  try {
    harrow::site_origin(address);  // the worker's own reading of an address
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

std::string setting_words(const Site_Inputs& inputs) { return "使用者設定 " + inputs.setting_place; }

// How a user changes the setting on this system.
std::string setting_hint(const Site_Inputs& inputs) {
  return inputs.setting_in_registry ? "（重新執行安裝程式或修改該登錄值即可更改）" : "";
}

}  // namespace

Site_Inputs read_site_inputs() {
  Site_Inputs inputs;
  inputs.environment = platform::environment_variable("TRAVO_SITE");
  inputs.setting_place = platform::user_setting_place(platform::kSiteSetting);
  inputs.setting_in_registry = platform::user_settings_in_registry();
  try {
    inputs.setting = platform::user_setting(platform::kSiteSetting);
  } catch (const platform::User_Settings_Error& e) {
    inputs.setting_error = e.what();
  }
  return inputs;
}

bool take_site_option(std::span<const std::string> args, size_t& i, std::optional<std::string>& site) {
  const std::string& arg = args[i];
  if (arg == "--site") {
    if (i + 1 >= args.size()) throw std::invalid_argument("--site 需要一個位址");
    site = args[++i];
    return true;
  }
  if (arg.starts_with("--site=")) {
    site = arg.substr(7);
    return true;
  }
  return false;
}

Site choose_site(const Site_Inputs& inputs) {
  Site site;
  std::string from;
  if (inputs.option) {
    site = {*inputs.option, Site_Source::option, "來自命令列選項 --site"};
    from = "命令列選項 --site";
  } else if (inputs.environment && !inputs.environment->empty()) {
    site = {*inputs.environment, Site_Source::environment, "來自環境變數 TRAVO_SITE"};
    from = "環境變數 TRAVO_SITE";
  } else if (!inputs.setting_error.empty()) {
    throw std::invalid_argument(inputs.setting_error);
  } else if (inputs.setting) {
    site = {*inputs.setting, Site_Source::setting, "來自" + setting_words(inputs) + setting_hint(inputs)};
    from = setting_words(inputs);
  } else {
    site = {harrow::kDefaultSite, Site_Source::built_in,
            "為預設值，可用 --site、環境變數 TRAVO_SITE 或" + setting_words(inputs) + " 更改" +
                (inputs.setting_in_registry ? "（安裝程式會寫入此登錄值）" : "")};
  }
  if (!is_site_address(site.address)) {
    throw std::invalid_argument("檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: " + site.address + "（來自" +
                                from + "）");
  }
  return site;
}

std::string site_option_help() {
  return std::string("檢索網站的基本位址（預設：環境變數 TRAVO_SITE，其次使用者設定，否則 ") + harrow::kDefaultSite +
         "）";
}

}  // namespace travo::app
