#include "travo/platform/environment.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "travo/platform/utf8.h"
#else
#include <unistd.h>
#endif

namespace travo::platform {
namespace {

void check_name(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) {
    throw std::invalid_argument("bad environment variable name '" + std::string(name) + "'");
  }
}

#ifdef _WIN32
// _wputenv_s changes the C runtime's copy and, through it, the process's
// block; an empty value removes the variable on Windows.
void put(std::string_view name, std::string_view value) {
  const std::wstring wide_name = utf16_from_utf8(name);
  const std::wstring wide_value = utf16_from_utf8(value);
  if (const errno_t rc = ::_wputenv_s(wide_name.c_str(), wide_value.c_str()); rc != 0) {
    throw std::system_error(rc, std::generic_category(), "cannot set " + std::string(name));
  }
}
#endif

}  // namespace

std::optional<std::string> environment_variable(std::string_view name) {
#ifdef _WIN32
  const std::wstring wide_name = utf16_from_utf8(name);
  ::SetLastError(ERROR_SUCCESS);
  DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (n == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(n, L'\0');
  n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), n);
  value.resize(n);
  return utf8_from_utf16(value);
#else
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
#endif
}

void set_environment_variable(std::string_view name, std::string_view value) {
  check_name(name);
#ifdef _WIN32
  put(name, value);
#else
  if (::setenv(std::string(name).c_str(), std::string(value).c_str(), 1) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set " + std::string(name));
  }
#endif
}

void unset_environment_variable(std::string_view name) {
  check_name(name);
#ifdef _WIN32
  put(name, {});
#else
  if (::unsetenv(std::string(name).c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot unset " + std::string(name));
  }
#endif
}

unsigned long current_process_id() {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

}  // namespace travo::platform
