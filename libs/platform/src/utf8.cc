#include "travo/platform/utf8.h"

#include <climits>
#include <stdexcept>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace travo::platform {

std::filesystem::path utf8_path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8_string(const std::filesystem::path& path) {
  const std::u8string u = path.u8string();
  return std::string(u.begin(), u.end());
}

#ifdef _WIN32
std::wstring utf16_from_utf8(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::invalid_argument("text too long for the Windows API");
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) throw std::invalid_argument("text is not UTF-8");
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n);
  return out;
}

std::string utf8_from_utf16(std::wstring_view text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX / 3) throw std::invalid_argument("text too long for the Windows API");
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}
#endif

}  // namespace travo::platform
