#include "travo/gui/gui.h"

#include <QApplication>
#include <QEventLoop>
#include <memory>
#include <stdexcept>

#include "mender_model/try_except_log.h"
#include "travo/gui/appearance.h"
#include "travo/gui/main_window.h"
#include "travo/platform/paths.h"

namespace travo::gui {
namespace {

std::unique_ptr<QApplication> application_if_missing() {
  if (QCoreApplication::instance()) return nullptr;
  static int argc = 1;
  static char name[] = "travo";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

void ensure_output_folders() {
  try {
    platform::ensure_product_folders();
  } catch (...) {
    // Folders that exist already, or cannot be made, are not the window's concern.
  }
}

void GUI(Queue_Map* Queue_All_variable, Event_Map* Event_All_variable, const Gui_Options& options) {
  ensure_output_folders();

  const std::unique_ptr<QApplication> own_application = application_if_missing();
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!application) throw std::logic_error("GUI needs a QApplication, but a non-GUI application exists");
  apply_dark_appearance(*application);

  {
    Main_Window window(Queue_All_variable, Event_All_variable, options);
    QEventLoop loop;
    QObject::connect(&window, &Main_Window::closed, &loop, &QEventLoop::quit);
    window.show();
    if (options.on_shown) mender_model::try_except_log("on_shown", [&] { options.on_shown(window); })();
    if (!window.was_closed()) loop.exec();
  }

  if (Queue_All_variable && Event_All_variable) send_stop_signals(*Queue_All_variable, *Event_All_variable);
}

void GUI(Queue_Map& Queue_All_variable, Event_Map& Event_All_variable, const Gui_Options& options) {
  GUI(&Queue_All_variable, &Event_All_variable, options);
}

}  // namespace travo::gui
