// travo: the TRAVO desktop application.
//
// Creates the shared event and queue maps, runs the search worker on a
// thread of its own and the main window on the main thread; when the window
// has been closed (and has told the worker to stop), waits for the worker.
// See launcher_options.h for the command line.
#include <QApplication>
#include <QStringList>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "launcher_options.h"
#include "travo/channel/shared_maps.h"
#include "travo/gui/gui.h"
#include "travo/gui/start_failure.h"
#include "travo/harrow/receipt.h"
#include "travo/platform/environment.h"
#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"

namespace {

// Before the window opens, a failure is told in a message box as well: a
// window program has no console on Windows. TRAVO_MESSAGE_BOX_RECORD is the
// tests' way to read the box instead of clicking it away.
int fail_before_window(const std::string& message, int status, const std::string& more = {}) {
  std::cerr << "travo: " << message << "\n" << more << std::flush;
  try {
    const auto record = travo::platform::environment_variable("TRAVO_MESSAGE_BOX_RECORD");
    travo::gui::show_start_failure(message, travo::platform::utf8_path(record.value_or("")));
  } catch (const std::exception& e) {
    std::cerr << "travo: the message box failed: " << e.what() << "\n";
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Help must work without a display, so it is looked for before Qt starts.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << travo::app::usage();
      return 0;
    }
  }

  QApplication application(argc, argv);  // takes Qt's own options out of argv
  travo::app::Launcher_Options options;
  try {
    // Qt's view of the rest is UTF-8 on every system (on Windows it comes
    // from the wide command line, not the ANSI argv).
    std::vector<std::string> args;
    const QStringList qt_args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < qt_args.size(); ++i) args.push_back(qt_args[i].toStdString());
    options = travo::app::parse_launcher_options(args, travo::app::read_environment());
  } catch (const std::invalid_argument& e) {
    return fail_before_window(e.what(), 2, travo::app::usage());
  }

  travo::gui::Gui_Options gui_options;
  gui_options.product_host = options.product_host;

  if (options.preview) {
    try {
      travo::gui::GUI(nullptr, nullptr, gui_options);
    } catch (const std::exception& e) {
      return fail_before_window(e.what(), 1);
    }
    return 0;
  }

  // The worker writes the search list there; without it no search could
  // ever be saved. (The preview above has no worker and needs none.)
  if (const std::string reason = travo::platform::ensure_product_folders_or_reason(); !reason.empty()) {
    return fail_before_window(reason, 1);
  }

  auto maps = travo::make_shared_maps();
  travo::harrow::Receipt_Options receipt_options;
  receipt_options.site = options.site;
  receipt_options.site_where = options.site_where;
  std::thread worker([&] {
    try {
      travo::harrow::receipt(maps->Queue_All_variable, maps->Event_All_variable, receipt_options);
    } catch (const std::exception& e) {
      std::cerr << "travo: the search worker stopped: " << e.what() << "\n";
    } catch (...) {
      std::cerr << "travo: the search worker stopped\n";
    }
  });

  int status = 0;
  try {
    travo::gui::GUI(maps->Queue_All_variable, maps->Event_All_variable, gui_options);
  } catch (const std::exception& e) {
    // The window never ran, so it sent no stop signals; send them here.
    travo::send_stop_signals(maps->Queue_All_variable, maps->Event_All_variable);
    status = fail_before_window(e.what(), 1);
  }
  worker.join();
  return status;
}
