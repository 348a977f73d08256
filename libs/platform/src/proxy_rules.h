// The rules behind find_proxy() that involve no system call, shared by its
// per-system files and tested on every system: the environment's variables,
// and how Windows reads the proxy and bypass values of its Internet
// settings.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "travo/platform/proxy.h"

namespace travo::platform::proxy_rules {

// What the rules look at in an address.
struct Address {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower case; IPv6 without brackets
  int port = 0;        // given or the scheme's default
};

// The parts of an http:// or https:// address; std::nullopt for anything
// else (another scheme, no host, a bad port).
std::optional<Address> parse_address(std::string_view url);

// localhost (and names under .localhost), 127.0.0.0/8, ::1.
bool is_loopback(std::string_view host);

using Lookup = std::function<std::optional<std::string>(std::string_view name)>;

// Step 1 of find_proxy(), with `lookup` reading the environment (an empty
// value counts as unset). std::nullopt when the environment does not
// decide.
std::optional<Proxy_Setting> from_environment(const Address& site, const Lookup& lookup);

// The proxy a Windows proxy value (WinHTTP's lpszProxy, or a script's
// result) gives for `scheme`: entries separated by ";" or blanks, each
// "[scheme=][scheme://]host[:port]"; the entry for `scheme` first, then one
// without "scheme=", then "socks=" (SOCKS v4, as Windows speaks it). A
// missing port is 80, as Windows has it (libcurl would take 1080). "" when
// no entry applies.
std::string windows_proxy_for(std::string_view proxy_value, std::string_view scheme);

// Whether a Windows bypass list (lpszProxyBypass) sends `site` directly:
// see proxy.h. Loopback addresses go directly unless the list holds
// "<-loopback>", also when the list is empty.
bool windows_bypass(std::string_view bypass_list, const Address& site);

// The loopback part of that: `site` is a loopback address and the list
// does not hold "<-loopback>". Holds for every kind of setting, scripts
// included, as in Edge and Chrome.
bool windows_loopback_direct(std::string_view bypass_list, const Address& site);

// Whether the proxy address carries a user name of its own.
bool has_credentials(std::string_view proxy);

}  // namespace travo::platform::proxy_rules
