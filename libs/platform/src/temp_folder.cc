#include "travo/platform/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace travo::platform {

namespace fs = std::filesystem;

fs::path temp_directory() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  if (n > 0 && n < MAX_PATH + 2) return fs::path(std::wstring(buffer, n)).lexically_normal();
  return fs::current_path();
#else
  const char* t = std::getenv("TMPDIR");
  return (t && *t) ? fs::path(t) : fs::path("/tmp");
#endif
}

fs::path create_private_folder(std::string_view prefix, const fs::path& base_in) {
  const fs::path base = fs::absolute(base_in.empty() ? temp_directory() : base_in);
  std::error_code last;
#ifdef _WIN32
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    static const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name(prefix);
    for (int i = 0; i < 10; ++i) name += digits[rd() % 36];
    const fs::path candidate = base / fs::path(std::u8string(name.begin(), name.end()));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
    const DWORD error = GetLastError();
    last = std::error_code(static_cast<int>(error), std::system_category());
    if (error != ERROR_ALREADY_EXISTS) break;
  }
#else
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) != nullptr) return pattern;
  last = std::error_code(errno, std::generic_category());
#endif
  throw std::system_error(last, "cannot create a private folder in " + base.string());
}

}  // namespace travo::platform
