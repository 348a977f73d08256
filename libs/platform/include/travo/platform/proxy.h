// Which proxy server the search site is reached through, found the way the
// desk's other programs find it.
//
// find_proxy(site) decides, in this order:
//
//  1. The environment variables libcurl reads, on every system: for an
//     https:// site https_proxy (then HTTPS_PROXY), for an http:// site
//     http_proxy (lower case only, as libcurl), then all_proxy / ALL_PROXY;
//     an empty value counts as unset. no_proxy (then NO_PROXY) lists the
//     hosts reached directly, with libcurl's rules (no_proxy_matches). When
//     a proxy variable applies, or no_proxy names the site's host, the
//     environment decides and nothing else is asked.
//  2. On Windows, the user's Internet settings, which Edge and Chrome
//     follow, read through WinHTTP (WinHttpGetIEProxyConfigForCurrentUser):
//     with "automatically detect settings" the proxy auto-discovery, then
//     an automatic configuration script, each evaluated for the site's
//     address by WinHttpGetProxyForUrl (a script that cannot be found or
//     fetched is passed over, as browsers do); then the fixed proxy, unless
//     its bypass list names the site. The bypass list follows Windows:
//     entries separated by ";" with "*" wildcards, an optional scheme and
//     port, "<local>" for host names without a dot. Loopback addresses
//     (localhost, 127.0.0.0/8, ::1) always go directly under these
//     settings unless the bypass list holds "<-loopback>".
//  3. Otherwise the site is reached directly.
//
// The result is what libcurl takes (CURLOPT_PROXY, CURLOPT_NOPROXY). It is
// decided for the site's address once; call it once per search, never on
// a window's thread: a script is fetched and run, which takes a second or
// more, bounded by WinHTTP's time-outs (kScriptTimeout). It never throws
// for a setting it cannot use; such a setting is passed over.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace travo::platform {

enum class Proxy_Source {
  none,         // nothing names a proxy: direct
  environment,  // a proxy variable or no_proxy decided
  manual,       // Windows: the fixed proxy and its bypass list
  script,       // Windows: the automatic configuration script
  detected,     // Windows: the script found by automatic detection
};

struct Proxy_Setting {
  // The proxy for the site as libcurl takes it ("http://host:port",
  // "socks4://host:port", credentials kept when the setting has them), or
  // "" when the site is reached directly.
  std::string proxy;
  // Hosts reached directly when a redirect leads there, in no_proxy's
  // syntax; only the environment supplies them.
  std::string no_proxy;
  Proxy_Source source = Proxy_Source::none;
  // The variable that named the proxy ("https_proxy"), or the address of
  // the script that chose it; "" otherwise.
  std::string origin;
  // Answer a proxy's request for a login (407) with the user's Windows
  // logon (Negotiate or NTLM, no password asked). Windows only, and only
  // when `proxy` carries no credentials of its own.
  bool system_login = false;
};

// Bound on each network step of fetching a configuration script.
inline constexpr std::chrono::milliseconds kScriptTimeout{10000};

// `site` is an http:// or https:// address; another one gets a direct
// setting.
Proxy_Setting find_proxy(std::string_view site);

// Whether libcurl's no_proxy list sends `host` directly: "*" alone matches
// every host; otherwise entries separated by commas (or blanks), where a
// name matches itself and its subdomains, case-insensitively, leading and
// trailing dots ignored ("example.com" and ".example.com" both match
// "www.example.com", not "notexample.com"), and an IPv4 or IPv6 entry
// matches that address, or a network with "/bits". `host` is a name or
// an address, IPv6 with or without brackets.
bool no_proxy_matches(std::string_view no_proxy, std::string_view host);

// `proxy` as messages show it: without a user name or password.
std::string proxy_for_display(std::string_view proxy);

}  // namespace travo::platform
