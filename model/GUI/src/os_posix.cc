// The front end on Linux and other POSIX desktops (see os.h).
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include "os.h"
#include "travo/gui/shell.h"
#include "travo/platform/paths.h"

namespace travo::gui {

Process_Start output_folder_command() { return {"xdg-open", {platform::product_folder().string()}}; }

namespace os {

void set_arguments(QProcess& process, const std::vector<std::string>& arguments) {
  QStringList list;
  for (const auto& a : arguments) list << QString::fromStdString(a);
  process.setArguments(list);
}

bool open_url(const QUrl& url) { return start_detached("xdg-open", {url.toString(QUrl::FullyEncoded).toStdString()}); }

std::string template_file(const std::string& program_folder, const std::string& name) {
  return program_folder + "/格式範本/" + name;
}

void show_error_box(const std::string& title, const std::string& text) {
  // Only on a real display: Qt's offscreen and minimal platforms have no one
  // to dismiss a modal box, and without a QApplication there is no display.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  const QString platform = QGuiApplication::platformName();
  if (platform == "offscreen" || platform == "minimal") return;
  QMessageBox::critical(nullptr, QString::fromStdString(title), QString::fromStdString(text));
}

}  // namespace os
}  // namespace travo::gui
