// The settings file of systems other than Windows.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "travo/platform/atomic_file.h"
#include "travo/platform/environment.h"
#include "travo/platform/user_settings.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;

// ${XDG_CONFIG_HOME:-$HOME/.config}/travo/settings; empty without either.
// A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
fs::path settings_file() {
  const std::string xdg = environment_variable("XDG_CONFIG_HOME").value_or("");
  if (!xdg.empty() && xdg.front() == '/') return utf8_path(xdg) / "travo" / "settings";
  const std::string home = environment_variable("HOME").value_or("");
  if (home.empty()) return {};
  return utf8_path(home) / ".config" / "travo" / "settings";
}

std::string trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return "";
  const size_t last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

// The file's lines; none when it does not exist.
std::vector<std::string> read_lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::error_code ec;
  if (file.empty() || !fs::exists(file, ec)) return lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw User_Settings_Error("無法讀取設定檔 " + utf8_string(file));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (in.bad()) throw User_Settings_Error("無法讀取設定檔 " + utf8_string(file));
  return lines;
}

// The key of a "key=value" line; "" for blank lines and comments.
std::string key_of(const std::string& line) {
  const std::string t = trimmed(line);
  if (t.empty() || t.front() == '#') return "";
  const size_t eq = t.find('=');
  return eq == std::string::npos ? "" : trimmed(std::string_view(t).substr(0, eq));
}

void rewrite(const Setting_Name& name, const std::optional<std::string_view>& value) {
  const fs::path file = settings_file();
  if (file.empty()) throw User_Settings_Error("沒有存放設定檔的資料夾（HOME 與 XDG_CONFIG_HOME 都未設定）");
  std::error_code ec;
  if (!value && !fs::exists(file, ec)) return;
  std::string text;
  for (const std::string& line : read_lines(file)) {
    if (key_of(line) != name.file_key) text += line + "\n";
  }
  if (value) text += std::string(name.file_key) + "=" + std::string(*value) + "\n";
  try {
    fs::create_directories(file.parent_path(), ec);
    atomic_write(file, text);
  } catch (const Atomic_File_Error& e) {
    throw User_Settings_Error("無法寫入設定檔 " + utf8_string(file) + "：" + e.what());
  }
}

}  // namespace

std::optional<std::string> user_setting(const Setting_Name& name) {
  std::optional<std::string> value;
  for (const std::string& line : read_lines(settings_file())) {
    if (key_of(line) != name.file_key) continue;
    const std::string t = trimmed(line);
    value = trimmed(std::string_view(t).substr(t.find('=') + 1));
  }
  if (value && value->empty()) return std::nullopt;
  return value;
}

std::string user_setting_place(const Setting_Name& name) {
  const fs::path file = settings_file();
  const std::string where = file.empty() ? "$HOME/.config/travo/settings" : utf8_string(file);
  return where + " 的 " + std::string(name.file_key) + "=";
}

bool user_settings_in_registry() { return false; }

void set_user_setting(const Setting_Name& name, std::string_view value) { rewrite(name, value); }

void remove_user_setting(const Setting_Name& name) { rewrite(name, std::nullopt); }

}  // namespace travo::platform
