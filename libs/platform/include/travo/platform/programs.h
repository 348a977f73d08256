// Finding installed programs, and reading the environment as UTF-8 (on
// Windows the narrow getenv() gives the ANSI code page's view of it).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "travo/platform/environment.h"

namespace travo::platform {

// Whether `path` is a regular file this process may run (POSIX: execute
// permission; Windows: any regular file).
bool is_executable_file(const std::filesystem::path& path);

// The first `name` in the folders of PATH that is_executable_file() (on
// Windows "name.exe" is tried as well when `name` has no extension).
std::optional<std::filesystem::path> find_on_path(std::string_view name);

// Windows: the program registered for `exe_name` ("soffice.exe") under
// SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths, in HKEY_LOCAL_MACHINE
// and then HKEY_CURRENT_USER, when the file it names exists. Elsewhere
// always std::nullopt.
std::optional<std::filesystem::path> registered_app_path(std::string_view exe_name);

}  // namespace travo::platform
