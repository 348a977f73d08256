#include <unistd.h>

#include <cstdlib>

#include "travo/platform/programs.h"

namespace travo::platform {

namespace fs = std::filesystem;

bool is_executable_file(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<fs::path> find_on_path(std::string_view name) {
  const std::optional<std::string> path = environment_variable("PATH");
  if (!path || name.empty()) return std::nullopt;
  std::string_view rest(*path);
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    if (!dir.empty() && is_executable_file(fs::path(dir) / name)) return fs::path(dir) / name;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

std::optional<fs::path> registered_app_path(std::string_view) { return std::nullopt; }

}  // namespace travo::platform
