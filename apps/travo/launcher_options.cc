#include "launcher_options.h"

#include <stdexcept>

#include "travo/gui/shell.h"
#include "travo/platform/environment.h"
#include "travo/platform/paths.h"

namespace travo::app {

std::string usage() {
  std::string text =
      "用法: travo [--site URL] [--product-host HOST] [--preview]\n"
      "\n"
      "開啟 TRAVO專利檢索軟體 的主視窗：輸入檢索指令後按「輸出檢索列表」，\n"
      "檢索列表寫入 ";
  text += platform::kSearchListFile;
  text += "\n（非 Windows 系統上 ";
  text += platform::kCorvanaFolder;
  text += " 對應到環境變數 CORVANA_ROOT，預設 $HOME/corvana/）。\n"
          "\n"
          "選項:\n"
          "  --site URL           ";
  text += site_option_help();
  text += "\n"
          "  --product-host HOST  產品網頁的主機名稱（預設：環境變數 TRAVO_PRODUCT_HOST，否則 ";
  text += gui::kDefaultProductHost;
  text += "）\n"
          "  --preview            只開啟視窗預覽，不啟動檢索程序\n"
          "  --help               顯示本說明\n"
          "\n"
          "結束代碼: 0 視窗正常關閉，1 視窗無法建立，2 用法錯誤。\n";
  return text;
}

Launcher_Environment read_environment() {
  return {read_site_inputs(), platform::environment_variable("TRAVO_PRODUCT_HOST").value_or("")};
}

Launcher_Options parse_launcher_options(std::span<const std::string> args, const Launcher_Environment& env) {
  Launcher_Options options;
  Site_Inputs site = env.site;
  site.option.reset();
  options.product_host = env.product_host.empty() ? gui::kDefaultProductHost : env.product_host;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "--name value" or "--name=value" for the options that take a value.
    auto value_of = [&](const std::string& name, std::string& out) {
      if (arg == name) {
        if (i + 1 >= args.size()) throw std::invalid_argument(name + " 需要一個值");
        out = args[++i];
        return true;
      }
      if (arg.rfind(name + "=", 0) == 0) {
        out = arg.substr(name.size() + 1);
        return true;
      }
      return false;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--preview") {
      options.preview = true;
    } else if (take_site_option(args, i, site.option) || value_of("--product-host", options.product_host)) {
      // taken
    } else if (arg.rfind("-", 0) == 0) {
      throw std::invalid_argument("不認得的選項 " + arg);
    } else {
      throw std::invalid_argument("多餘的參數 " + arg + "（檢索指令請在視窗中輸入）");
    }
  }

  const Site chosen = choose_site(site);
  options.site = chosen.address;
  options.site_where = chosen.where;
  try {
    gui::product_page_url("https", options.product_host);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(std::string("--product-host: ") + e.what());
  }
  return options;
}

}  // namespace travo::app
