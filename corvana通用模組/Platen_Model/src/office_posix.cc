// The LibreOffice details of Linux and other POSIX systems (see office.h).
#include <stdexcept>
#include <system_error>

#include "office.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace platen_model::detail {

namespace fs = std::filesystem;
namespace platform = travo::platform;

fs::path installed_soffice() {
  if (auto on_path = platform::find_on_path("soffice")) return *on_path;
  for (const char* p : {"/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"}) {
    if (platform::is_executable_file(p)) return p;
  }
  throw std::runtime_error(
      "LibreOffice not found: no soffice on PATH, at /usr/bin/soffice or at "
      "/usr/lib/libreoffice/program/soffice (install libreoffice-writer-nogui, or set " +
      std::string(kSofficeVariable) + " to the launcher)");
}

fs::path default_python(const fs::path&) { return "/usr/bin/python3"; }

std::vector<std::pair<std::string, std::string>> office_environment(const fs::path& private_dir) {
  return {{"TMPDIR", platform::utf8_string(private_dir / "tmp")},
          {"FONTCONFIG_FILE", platform::utf8_string(font_config_path(private_dir))}};
}

void prepare_private_folder(const fs::path& private_dir) { write_font_config(private_dir); }

Url_Path url_path(const fs::path& path) { return {platform::utf8_string(fs::absolute(path).lexically_normal())}; }

void remove_pipe_leftovers(const std::string& pipe_name) {
  if (pipe_name.empty()) return;
  // A killed office leaves its listening socket behind, as
  // /tmp/OSL_PIPE_<uid>_<name>.
  std::error_code ec;
  const std::string suffix = "_" + pipe_name;
  for (fs::directory_iterator it("/tmp", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind("OSL_PIPE_", 0) == 0 && name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace platen_model::detail
