#include "travo/platform/paths.h"

#include <cstdlib>
#include <system_error>

#include "travo/platform/utf8.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace travo::platform {
namespace {

constexpr std::string_view kCorvana = "corvana";

bool is_sep(char c) { return c == '/' || c == '\\'; }

// Length of the "C:/corvana" prefix of `p` (0 when it has none). The prefix
// must end the text or be followed by a separator.
size_t corvana_prefix(std::string_view p) {
  if (p.size() < 3 || (p[0] != 'C' && p[0] != 'c') || p[1] != ':' || !is_sep(p[2])) return 0;
  size_t i = 3;
  while (i < p.size() && is_sep(p[i])) ++i;
  if (p.substr(i, kCorvana.size()) != kCorvana) return 0;
  i += kCorvana.size();
  if (i != p.size() && !is_sep(p[i])) return 0;
  return i;
}

// CORVANA_ROOT as UTF-8; empty when unset.
std::string root_override() {
#ifdef _WIN32
  const wchar_t* root = ::_wgetenv(L"CORVANA_ROOT");
  return root ? utf8_from_utf16(root) : std::string();
#else
  const char* root = std::getenv("CORVANA_ROOT");
  return root ? std::string(root) : std::string();
#endif
}

}  // namespace

std::filesystem::path corvana_root() {
  if (const std::string root = root_override(); !root.empty()) return utf8_path(root);
#ifdef _WIN32
  return utf8_path("C:/corvana");
#else
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / "corvana";
#endif
}

std::filesystem::path local_path(std::string_view system_path) {
  const size_t n = corvana_prefix(system_path);
#ifdef _WIN32
  // The fixed folder is real here; only a test's CORVANA_ROOT moves it.
  if (n == 0 || root_override().empty()) return utf8_path(system_path);
#else
  if (n == 0) return std::filesystem::path(std::string(system_path));
#endif
  std::string rest(system_path.substr(n));
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  size_t skip = 0;
  while (skip < rest.size() && rest[skip] == '/') ++skip;
  rest.erase(0, skip);
  std::filesystem::path out = corvana_root();
  if (!rest.empty()) out /= utf8_path(rest);
  // Keep a trailing separator: callers use it to mean "a folder".
  if (rest.empty() && n < system_path.size()) out += "/";
  return out;
}

std::filesystem::path product_folder() { return local_path(kProductFolder); }

std::filesystem::path search_list_path() { return local_path(kSearchListFile); }

bool ensure_product_folders() {
  std::error_code ec;
  for (std::string_view folder : {kCorvanaFolder, kProductFolder}) {
    std::filesystem::create_directory(local_path(folder), ec);
  }
  return std::filesystem::is_directory(product_folder(), ec);
}

std::string ensure_product_folders_or_reason() {
  std::error_code first;
  for (std::string_view folder : {kCorvanaFolder, kProductFolder}) {
    std::error_code ec;
    std::filesystem::create_directory(local_path(folder), ec);
    if (ec && !first) first = ec;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(product_folder(), ec)) return {};
  // The first failure is the cause; the second only follows from it.
  const std::string reason = first ? first.message() : "已有同名的檔案";
  // Forward slashes throughout, as the system writes "C:/corvana/".
  const std::u8string folder = product_folder().generic_u8string();
  return "無法建立資料夾 " + std::string(folder.begin(), folder.end()) + "：" + reason;
}

std::string windows_form(std::string_view system_path) {
  std::string out(system_path);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  // A drive root keeps its separator: "C:" alone means the current folder
  // of drive C.
  auto is_drive_root = [&] { return out.size() == 3 && out[1] == ':'; };
  while (out.size() > 1 && out.back() == '\\' && !is_drive_root()) out.pop_back();
  return out;
}

std::filesystem::path executable_dir() {
#ifdef _WIN32
  wchar_t buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::filesystem::path(buf).parent_path();
#else
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return exe.parent_path();
#endif
  return std::filesystem::current_path();
}

}  // namespace travo::platform
