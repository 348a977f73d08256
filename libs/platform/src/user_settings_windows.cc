// The user's settings in the registry: HKEY_CURRENT_USER\Software\TRAVO.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <system_error>

#include "travo/platform/user_settings.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

constexpr const wchar_t* kKey = L"Software\\TRAVO";
constexpr const char* kKeyText = "HKEY_CURRENT_USER\\Software\\TRAVO";

std::string place(const Setting_Name& name) { return std::string(kKeyText) + "\\" + std::string(name.registry_value); }

[[noreturn]] void fail(const std::string& what, LONG rc) {
  throw User_Settings_Error(what + "：" + std::system_category().message(static_cast<int>(rc)));
}

}  // namespace

std::optional<std::string> user_setting(const Setting_Name& name) {
  const std::wstring value_name = utf16_from_utf8(name.registry_value);
  DWORD type = 0;
  DWORD bytes = 0;
  LONG rc = ::RegGetValueW(HKEY_CURRENT_USER, kKey, value_name.c_str(), RRF_RT_ANY, &type, nullptr, &bytes);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return std::nullopt;
  if (rc != ERROR_SUCCESS) fail("無法讀取登錄值 " + place(name), rc);
  if (type != REG_SZ) throw User_Settings_Error("登錄值 " + place(name) + " 不是文字（REG_SZ）");
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  rc = ::RegGetValueW(HKEY_CURRENT_USER, kKey, value_name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
  if (rc != ERROR_SUCCESS) fail("無法讀取登錄值 " + place(name), rc);
  text.resize(wcsnlen(text.c_str(), text.size()));
  if (text.empty()) return std::nullopt;
  return utf8_from_utf16(text);
}

std::string user_setting_place(const Setting_Name& name) { return place(name); }

bool user_settings_in_registry() { return true; }

void set_user_setting(const Setting_Name& name, std::string_view value) {
  HKEY key = nullptr;
  LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) fail("無法建立登錄機碼 " + std::string(kKeyText), rc);
  const std::wstring value_name = utf16_from_utf8(name.registry_value);
  const std::wstring text = utf16_from_utf8(value);
  rc = ::RegSetValueExW(key, value_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS) fail("無法寫入登錄值 " + place(name), rc);
}

void remove_user_setting(const Setting_Name& name) {
  const std::wstring value_name = utf16_from_utf8(name.registry_value);
  const LONG rc = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, value_name.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) {
    fail("無法刪除登錄值 " + place(name), rc);
  }
}

}  // namespace travo::platform
