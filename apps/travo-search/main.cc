// travo-search: one search from the command line, through the real worker.
//
//   travo-search [--site URL] SEARCH WORDS...
//
// The words, joined by single spaces, are the search command. The site is
// --site, else TRAVO_SITE, else the user's setting, else the bundled local
// site (site_option.h). Messages are printed as the desktop front end shows
// them. Ctrl-C (SIGINT or SIGTERM; the console control events on Windows)
// stops the search: the rows read so far are saved and the worker says how
// many. Exit status: 0 when the command completed without a failure, 1 when
// a failure was reported, 2 on bad usage (a bad site address included), 130
// after a stop.
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "site_option.h"
#include "travo/channel/shared_maps.h"
#include "travo/harrow/receipt.h"
#include "travo/platform/console.h"
#include "travo/platform/paths.h"
#include "travo/platform/stop_request.h"

namespace {

std::string usage() {
  std::string text = "用法: travo-search [--site URL] 檢索指令...\n\n以檢索指令搜尋專利，並將檢索列表寫入\n  ";
  text += travo::platform::kSearchListFile;
  text += "\n（非 Windows 系統上 ";
  text += travo::platform::kCorvanaFolder;
  text += " 對應到環境變數 CORVANA_ROOT，預設 $HOME/corvana/）。\n\n";
  text += "選項:\n  --site URL   ";
  text += travo::app::site_option_help();
  text += "\n  --help       顯示本說明\n\n";
  text += "按 Ctrl-C 可停止檢索：已讀取的結果仍會寫入檢索列表。\n\n";
  text += "結束代碼: 0 完成且無錯誤，1 檢索過程回報錯誤，2 用法錯誤，130 已停止檢索。\n";
  return text;
}

}  // namespace

int main(int argc, char** argv_narrow) {
  const travo::platform::Utf8_Console console;
  const std::vector<std::string> argv = travo::platform::utf8_arguments(argc, argv_narrow);
  argc = static_cast<int>(argv.size());
  travo::app::Site_Inputs site_inputs = travo::app::read_site_inputs();
  std::string command;
  bool have_words = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << usage();
      return 0;
    }
    try {
      size_t at = static_cast<size_t>(i);
      if (travo::app::take_site_option(argv, at, site_inputs.option)) {
        i = static_cast<int>(at);
        continue;
      }
    } catch (const std::invalid_argument& e) {
      std::cerr << "travo-search: " << e.what() << "\n" << usage();
      return 2;
    }
    if (arg == "--") {
      for (++i; i < argc; ++i) {
        command += (have_words ? " " : "") + std::string(argv[i]);
        have_words = true;
      }
      break;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      std::cerr << "travo-search: 不認得的選項 " << arg << "\n" << usage();
      return 2;
    }
    command += (have_words ? " " : "") + arg;
    have_words = true;
  }
  if (!have_words || command.empty()) {
    std::cerr << "travo-search: 請輸入關鍵字\n" << usage();
    return 2;
  }

  travo::harrow::Receipt_Options options;
  try {
    const travo::app::Site site = travo::app::choose_site(site_inputs);
    options.site = site.address;
    options.site_where = site.where;
  } catch (const std::invalid_argument& e) {
    std::cerr << "travo-search: " << e.what() << "\n";
    return 2;
  }
  travo::platform::ensure_product_folders();

  auto maps = travo::make_shared_maps();
  bool failed = false;
  bool stopped = false;
  options.on_command_done = [&](const travo::harrow::Command_Outcome& o) {
    failed = o.failed;
    stopped = o.stopped;
  };
  // Made before the worker thread, which must inherit the signal mask.
  travo::Event& stop_search = maps->Event_All_variable.at(travo::kStopSearch);
  std::optional<travo::platform::Stop_Request_Listener> listener;
  listener.emplace([&stop_search] { stop_search.set(); });
  std::thread worker([&] { travo::harrow::receipt(maps->Queue_All_variable, maps->Event_All_variable, options); });

  // The command the window would send with its default parameters.
  travo::Start_Data start_data = travo::default_parameters();
  start_data.set(travo::kCommandKey, command);
  maps->Event_All_variable.at(travo::kBusy).set();
  maps->Queue_All_variable.at(travo::kStartData).put(start_data);

  travo::Queue& messages = maps->Queue_All_variable.at(travo::kBusy);
  for (;;) {
    travo::Queue_Item item = messages.take();
    const std::string* text = std::get_if<std::string>(&item);
    if (text && *text == travo::kDoneMarker) {
      std::cout << "\n完成\n" << std::flush;
      break;
    }
    std::cout << (text ? *text : std::string()) << "\n" << std::flush;
  }
  travo::send_stop_signals(maps->Queue_All_variable, maps->Event_All_variable);
  worker.join();
  listener.reset();
  if (failed) return 1;
  return stopped ? 130 : 0;
}
