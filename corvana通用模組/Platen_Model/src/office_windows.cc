// The LibreOffice details of Windows (see office.h).
#include <algorithm>
#include <stdexcept>

#include "office.h"
#include "travo/platform/environment.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace platen_model::detail {

namespace fs = std::filesystem;
namespace platform = travo::platform;

fs::path installed_soffice() {
  if (auto registered = platform::registered_app_path("soffice.exe")) return *registered;
  for (const char* folder : {"ProgramFiles", "ProgramFiles(x86)"}) {
    if (const auto root = platform::environment_variable(folder); root && !root->empty()) {
      const fs::path candidate = platform::utf8_path(*root) / "LibreOffice" / "program" / "soffice.exe";
      if (platform::is_executable_file(candidate)) return candidate;
    }
  }
  if (auto on_path = platform::find_on_path("soffice.exe")) return *on_path;
  throw std::runtime_error(
      "LibreOffice not found: soffice.exe is not registered under App Paths, not in "
      "%ProgramFiles%\\LibreOffice\\program and not on PATH (install LibreOffice from "
      "https://www.libreoffice.org, or set " + std::string(kSofficeVariable) + " to its soffice.exe)");
}

fs::path default_python(const fs::path& soffice) { return soffice.parent_path() / "python.exe"; }

std::vector<std::pair<std::string, std::string>> office_environment(const fs::path& private_dir) {
  const std::string tmp = platform::utf8_string(private_dir / "tmp");
  return {{"TMP", tmp}, {"TEMP", tmp}};
}

void prepare_private_folder(const fs::path&) {}

Url_Path url_path(const fs::path& path) {
  // libstdc++ for Windows does not take "\\server\share" for a root name
  // (absolute() puts it on the current drive, the generic form drops a
  // slash), so UNC paths are recognised here and kept as they are.
  const std::wstring& native = path.native();
  const bool unc =
      native.size() > 2 && (native[0] == L'\\' || native[0] == L'/') && (native[1] == L'\\' || native[1] == L'/');
  std::string text = platform::utf8_string(unc ? path : fs::absolute(path).lexically_normal());
  std::replace(text.begin(), text.end(), '\\', '/');
  if (unc) return {text.substr(2)};  // "file://server/share/x"
  // "C:/x" becomes "file:///C:/x".
  text.insert(0, "/");
  return {text, text.size() > 2 && text[2] == ':' ? std::size_t{2} : std::string::npos};
}

void remove_pipe_leftovers(const std::string&) {}

}  // namespace platen_model::detail
