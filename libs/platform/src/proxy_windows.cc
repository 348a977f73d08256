// Windows: the environment first, then the user's Internet settings through
// WinHTTP, the same settings Edge and Chrome follow.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winhttp.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "proxy_rules.h"
#include "travo/platform/environment.h"
#include "travo/platform/proxy.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

// A string WinHTTP allocated for us.
struct Global_Text {
  wchar_t* text = nullptr;
  Global_Text() = default;
  explicit Global_Text(wchar_t* t) : text(t) {}
  Global_Text(const Global_Text&) = delete;
  Global_Text& operator=(const Global_Text&) = delete;
  ~Global_Text() {
    if (text != nullptr) ::GlobalFree(text);
  }
  std::string utf8() const { return text == nullptr ? std::string() : utf8_from_utf16(text); }
};

struct Internet_Handle {
  HINTERNET handle = nullptr;
  explicit Internet_Handle(HINTERNET h) : handle(h) {}
  Internet_Handle(const Internet_Handle&) = delete;
  Internet_Handle& operator=(const Internet_Handle&) = delete;
  ~Internet_Handle() {
    if (handle != nullptr) ::WinHttpCloseHandle(handle);
  }
};

// A proxy the user's logon may answer a 407 for.
Proxy_Setting with_login(Proxy_Setting setting) {
  setting.system_login = !setting.proxy.empty() && !proxy_rules::has_credentials(setting.proxy);
  return setting;
}

// What a configuration script says for `site`: auto-detected when
// `script` is null. std::nullopt when no script is found, fetched or run.
std::optional<Proxy_Setting> from_script(const std::wstring& site, const proxy_rules::Address& address,
                                         const wchar_t* script) {
  Internet_Handle session(::WinHttpOpen(L"TRAVO", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.handle == nullptr) return std::nullopt;
  const int timeout = static_cast<int>(kScriptTimeout.count());
  ::WinHttpSetTimeouts(session.handle, timeout, timeout, timeout, timeout);
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (script == nullptr) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = script;
  }
  // A script served behind the firm's own login.
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  if (!::WinHttpGetProxyForUrl(session.handle, site.c_str(), &options, &info)) return std::nullopt;
  const Global_Text proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
  Proxy_Setting setting;
  setting.source = script == nullptr ? Proxy_Source::detected : Proxy_Source::script;
  if (script != nullptr) setting.origin = utf8_from_utf16(script);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
    setting.proxy = proxy_rules::windows_proxy_for(proxy.utf8(), address.scheme);
    if (proxy_rules::windows_bypass(bypass.utf8(), address)) setting.proxy.clear();
  }
  return with_login(std::move(setting));
}

}  // namespace

Proxy_Setting find_proxy(std::string_view site) {
  const std::optional<proxy_rules::Address> address = proxy_rules::parse_address(site);
  if (!address) return {};
  if (std::optional<Proxy_Setting> setting = proxy_rules::from_environment(
          *address, [](std::string_view name) { return environment_variable(name); })) {
    return with_login(std::move(*setting));
  }

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  const Global_Text fixed(config.lpszProxy), bypass(config.lpszProxyBypass), script(config.lpszAutoConfigUrl);
  const std::string bypass_list = bypass.utf8();
  if (proxy_rules::windows_loopback_direct(bypass_list, *address)) return {};

  std::wstring wide_site;
  try {
    wide_site = utf16_from_utf8(site);
  } catch (const std::invalid_argument&) {
    return {};
  }
  // The order of the settings page: detection, then the script, then the
  // fixed proxy.
  if (config.fAutoDetect) {
    if (std::optional<Proxy_Setting> setting = from_script(wide_site, *address, nullptr)) return *setting;
  }
  if (script.text != nullptr && *script.text != L'\0') {
    if (std::optional<Proxy_Setting> setting = from_script(wide_site, *address, script.text)) return *setting;
  }
  if (fixed.text != nullptr) {
    Proxy_Setting setting;
    setting.source = Proxy_Source::manual;
    setting.proxy = proxy_rules::windows_proxy_for(fixed.utf8(), address->scheme);
    if (proxy_rules::windows_bypass(bypass_list, *address)) setting.proxy.clear();
    return with_login(std::move(setting));
  }
  return {};
}

}  // namespace travo::platform
