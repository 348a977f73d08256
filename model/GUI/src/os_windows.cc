// The front end on Windows (see os.h).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "os.h"
#include "travo/gui/shell.h"
#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"

#include <QDesktopServices>
#include <QStringList>

namespace travo::gui {

Process_Start output_folder_command() {
  // The folder the search list is written to (CORVANA_ROOT moves it too).
  return {"explorer", {platform::windows_form(platform::utf8_string(platform::product_folder()))}};
}

namespace os {

void set_arguments(QProcess& process, const std::vector<std::string>& arguments) {
  // Windows programs parse their own command line; explorer wants the folder
  // exactly as written, so the arguments go over as one text, unquoted.
  QStringList list;
  for (const auto& a : arguments) list << QString::fromStdString(a);
  process.setNativeArguments(list.join(' '));
}

bool open_url(const QUrl& url) { return QDesktopServices::openUrl(url); }

std::string template_file(const std::string& program_folder, const std::string& name) {
  return program_folder + "\\格式範本\\" + name;
}

void show_error_box(const std::string& title, const std::string& text) {
  // The Windows API's own box: it needs no QApplication, and it comes to the
  // front although no window of ours has been shown yet.
  MessageBoxW(nullptr, platform::utf16_from_utf8(text).c_str(), platform::utf16_from_utf8(title).c_str(),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL);
}

}  // namespace os
}  // namespace travo::gui
