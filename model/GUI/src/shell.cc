#include "travo/gui/shell.h"

#include <QProcess>
#include <stdexcept>

#include "os.h"

namespace travo::gui {

bool start_detached(const std::string& program, const std::vector<std::string>& arguments) {
  QProcess process;
  process.setProgram(QString::fromStdString(program));
  os::set_arguments(process, arguments);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

namespace {

bool open_url(const std::string& address) {
  const QUrl url(QString::fromStdString(address));
  if (!url.isValid()) return false;
  return os::open_url(url);
}

}  // namespace

Shell desktop_shell() { return Shell{start_detached, open_url}; }

std::string product_page_url(std::string_view scheme, std::string_view host) {
  if (host.empty()) throw std::invalid_argument("the product page host is empty");
  if (host.find_first_of("/:@?# \t") != std::string_view::npos) {
    throw std::invalid_argument("the product page host \"" + std::string(host) +
                                "\" must be a bare host name, without scheme, port or path");
  }
  return std::string(scheme) + "://" + std::string(host) + ":" + std::to_string(kProductPort) + kProductPath;
}

}  // namespace travo::gui
