#include "travo/gui/shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <stdexcept>

#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"

namespace travo::gui {
namespace {

QStringList to_qt(const std::vector<std::string>& texts) {
  QStringList list;
  for (const auto& t : texts) list << QString::fromStdString(t);
  return list;
}

bool start_detached(const std::string& program, const std::vector<std::string>& arguments) {
  QProcess process;
  process.setProgram(QString::fromStdString(program));
#ifdef _WIN32
  // Windows programs parse their own command line; explorer wants the folder
  // exactly as written, so the arguments go over as one text, unquoted.
  process.setNativeArguments(to_qt(arguments).join(' '));
#else
  process.setArguments(to_qt(arguments));
#endif
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

bool open_url(const std::string& address) {
  const QUrl url(QString::fromStdString(address));
  if (!url.isValid()) return false;
#ifdef _WIN32
  return QDesktopServices::openUrl(url);
#else
  return start_detached("xdg-open", {url.toString(QUrl::FullyEncoded).toStdString()});
#endif
}

}  // namespace

Shell desktop_shell() { return Shell{start_detached, open_url}; }

Process_Start output_folder_command() {
#ifdef _WIN32
  // The folder the search list is written to (CORVANA_ROOT moves it too).
  return {"explorer", {platform::windows_form(platform::utf8_string(platform::product_folder()))}};
#else
  return {"xdg-open", {platform::product_folder().string()}};
#endif
}

std::string product_page_url(std::string_view scheme, std::string_view host) {
  if (host.empty()) throw std::invalid_argument("the product page host is empty");
  if (host.find_first_of("/:@?# \t") != std::string_view::npos) {
    throw std::invalid_argument("the product page host \"" + std::string(host) +
                                "\" must be a bare host name, without scheme, port or path");
  }
  return std::string(scheme) + "://" + std::string(host) + ":" + std::to_string(kProductPort) + kProductPath;
}

}  // namespace travo::gui
