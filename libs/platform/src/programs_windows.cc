#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>

#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace travo::platform {

namespace fs = std::filesystem;

namespace {

std::optional<std::wstring> wide_variable(const std::wstring& name) {
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring();
  }
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(name.c_str(), value.data(), n);
  value.resize(n);
  return value;
}

// The default value of an App Paths key, unquoted; REG_EXPAND_SZ values
// come back expanded.
std::optional<fs::path> app_path_value(HKEY root, const std::wstring& key, DWORD view) {
  DWORD size = 0;
  // RRF_RT_REG_SZ takes REG_EXPAND_SZ values too, expanded (asking for
  // RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND is refused as an invalid
  // parameter).
  const DWORD flags = RRF_RT_REG_SZ | view;
  if (RegGetValueW(root, key.c_str(), nullptr, flags, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) {
    return std::nullopt;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(root, key.c_str(), nullptr, flags, nullptr, value.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (value.size() >= 2 && value.front() == L'"') {
    const auto close = value.find(L'"', 1);
    value = value.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  if (value.empty()) return std::nullopt;
  return fs::path(value);
}

}  // namespace

bool is_executable_file(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::optional<fs::path> find_on_path(std::string_view name) {
  const auto path = wide_variable(L"PATH");
  if (!path || name.empty()) return std::nullopt;
  const fs::path file = fs::path(utf16_from_utf8(name));
  std::wstring_view rest(*path);
  while (!rest.empty()) {
    const auto semicolon = rest.find(L';');
    std::wstring dir(rest.substr(0, semicolon));
    if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"') dir = dir.substr(1, dir.size() - 2);
    if (!dir.empty()) {
      fs::path candidate = fs::path(dir) / file;
      if (is_executable_file(candidate)) return candidate;
      if (!file.has_extension()) {
        candidate += L".exe";
        if (is_executable_file(candidate)) return candidate;
      }
    }
    if (semicolon == std::wstring_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  return std::nullopt;
}

std::optional<fs::path> registered_app_path(std::string_view exe_name) {
  const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + utf16_from_utf8(exe_name);
  // A 32-bit installation registers itself in the 32-bit view.
  const struct {
    HKEY root;
    DWORD view;
  } places[] = {{HKEY_LOCAL_MACHINE, 0}, {HKEY_LOCAL_MACHINE, RRF_SUBKEY_WOW6432KEY}, {HKEY_CURRENT_USER, 0}};
  for (const auto& place : places) {
    if (auto p = app_path_value(place.root, key, place.view)) {
      std::error_code ec;
      if (fs::is_regular_file(*p, ec)) return p;
    }
  }
  return std::nullopt;
}

}  // namespace travo::platform
