// Gui_Options: what the caller of the front end may choose.
//
// Every field has the value the product uses as its default; tests and the
// launcher change only what they need. Configuration from the environment or
// the command line is read by the launcher and passed in here.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "travo/gui/shell.h"

namespace travo::gui {

class Main_Window;

struct Gui_Options {
  // The program folder: the template folder "格式範本" with the window's
  // images lies inside it. Empty means the folder of the running executable.
  std::filesystem::path program_folder;

  // Time from the end of one polling step to the next.
  std::chrono::milliseconds poll_interval{500};

  // The web host of the product page opened by the help icon.
  std::string product_host = kDefaultProductHost;

  // Desktop operations; an empty member means the real desktop's.
  Shell shell;

  // Run by GUI() once the window is shown, before its event loop starts
  // (scripted runs and tests). Failures are reported like an action's.
  std::function<void(Main_Window&)> on_shown;
};

}  // namespace travo::gui
