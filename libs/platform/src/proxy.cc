// The system-independent half of the proxy lookup: libcurl's environment
// rules and the reading of Windows' proxy values. The system calls live in
// proxy_posix.cc and proxy_windows.cc.
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <string_view>
#include <vector>

#include "proxy_rules.h"
#include "travo/platform/proxy.h"
#include "travo/text/ascii.h"

namespace travo::platform {
namespace {

using text::ascii_lower;
using text::iequals;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Splits at any of `separators`, dropping empty pieces.
std::vector<std::string_view> split(std::string_view s, std::string_view separators) {
  std::vector<std::string_view> out;
  while (!s.empty()) {
    const std::size_t end = s.find_first_of(separators);
    if (end != 0) out.push_back(s.substr(0, end));
    if (end == std::string_view::npos) break;
    s.remove_prefix(end + 1);
  }
  return out;
}

// Dotted-quad IPv4, four decimal parts without leading zeros (as
// inet_pton, which libcurl uses).
std::optional<std::uint32_t> parse_ipv4(std::string_view s) {
  std::uint32_t value = 0;
  int parts = 0;
  while (parts < 4) {
    std::size_t n = 0;
    while (n < s.size() && is_digit(s[n])) ++n;
    if (n == 0 || n > 3 || (n > 1 && s[0] == '0')) return std::nullopt;
    unsigned part = 0;
    std::from_chars(s.data(), s.data() + n, part);
    if (part > 255) return std::nullopt;
    value = (value << 8) | part;
    s.remove_prefix(n);
    if (++parts < 4) {
      if (s.empty() || s[0] != '.') return std::nullopt;
      s.remove_prefix(1);
    }
  }
  if (!s.empty()) return std::nullopt;
  return value;
}

using Ipv6 = std::array<std::uint8_t, 16>;

// RFC 4291 text form: hex groups, one "::", a trailing dotted quad.
std::optional<Ipv6> parse_ipv6(std::string_view s) {
  std::vector<std::uint16_t> head, tail;
  bool compressed = false;
  if (s.starts_with("::")) {
    compressed = true;
    s.remove_prefix(2);
  } else if (s.starts_with(":")) {
    return std::nullopt;
  }
  std::optional<std::uint32_t> ipv4;
  while (!s.empty()) {
    std::vector<std::uint16_t>& groups = compressed ? tail : head;
    const std::size_t colon = s.find(':');
    const std::string_view piece = s.substr(0, colon);
    if (colon == std::string_view::npos && piece.find('.') != std::string_view::npos) {
      ipv4 = parse_ipv4(piece);
      if (!ipv4) return std::nullopt;
      break;
    }
    if (piece.empty() || piece.size() > 4) return std::nullopt;
    unsigned group = 0;
    const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), group, 16);
    if (ec != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
    groups.push_back(static_cast<std::uint16_t>(group));
    if (colon == std::string_view::npos) break;
    s.remove_prefix(colon + 1);
    if (s.starts_with(":")) {
      if (compressed) return std::nullopt;
      compressed = true;
      s.remove_prefix(1);
    } else if (s.empty()) {
      return std::nullopt;  // a trailing single ':'
    }
  }
  const std::size_t total = head.size() + tail.size() + (ipv4 ? 2 : 0);
  if (total > 8 || (!compressed && total != 8) || (compressed && total == 8)) return std::nullopt;
  std::vector<std::uint16_t> all = head;
  all.resize(8 - tail.size() - (ipv4 ? 2 : 0), 0);
  all.insert(all.end(), tail.begin(), tail.end());
  if (ipv4) {
    all.push_back(static_cast<std::uint16_t>(*ipv4 >> 16));
    all.push_back(static_cast<std::uint16_t>(*ipv4 & 0xffff));
  }
  Ipv6 out{};
  for (std::size_t i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(all[i] >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(all[i] & 0xff);
  }
  return out;
}

std::string_view without_brackets(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// libcurl's reading of "/bits": digits only, anything else is 0.
unsigned prefix_bits(std::string_view s) {
  unsigned bits = 0;
  std::from_chars(s.data(), s.data() + s.size(), bits);
  return bits;
}

bool ipv4_matches(std::uint32_t address, std::string_view entry) {
  const std::size_t slash = entry.find('/');
  const unsigned bits = slash == std::string_view::npos ? 0 : prefix_bits(entry.substr(slash + 1));
  const std::optional<std::uint32_t> network = parse_ipv4(entry.substr(0, slash));
  if (!network || bits > 32) return false;
  if (bits == 0 || bits == 32) return address == *network;
  const std::uint32_t mask = 0xffffffffu << (32 - bits);
  return (address & mask) == (*network & mask);
}

bool ipv6_matches(const Ipv6& address, std::string_view entry) {
  const std::size_t slash = entry.find('/');
  unsigned bits = slash == std::string_view::npos ? 0 : prefix_bits(entry.substr(slash + 1));
  const std::optional<Ipv6> network = parse_ipv6(without_brackets(entry.substr(0, slash)));
  if (!network || bits > 128) return false;
  if (bits == 0) bits = 128;
  for (unsigned i = 0; i < bits; ++i) {
    const unsigned byte = i / 8, bit = 7 - i % 8;
    if (((address[byte] >> bit) & 1) != (((*network)[byte] >> bit) & 1)) return false;
  }
  return true;
}

// `text` against a pattern where '*' stands for any run of characters,
// case-insensitively.
bool glob_matches(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && ascii_lower(pattern[p]) == ascii_lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// "host:port" (the host possibly bracketed) split at the port; port -1
// when there is none.
std::pair<std::string_view, int> split_port(std::string_view authority) {
  std::size_t colon = std::string_view::npos;
  if (authority.starts_with("[")) {
    const std::size_t close = authority.find(']');
    if (close != std::string_view::npos && close + 1 < authority.size() && authority[close + 1] == ':') {
      colon = close + 1;
    }
  } else if (authority.find(':') == authority.rfind(':')) {
    colon = authority.find(':');
  }
  if (colon == std::string_view::npos) return {authority, -1};
  const std::string_view digits = authority.substr(colon + 1);
  int port = -1;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return {authority, -1};
  return {authority.substr(0, colon), port};
}

}  // namespace

std::string proxy_for_display(std::string_view proxy) {
  const std::size_t slashes = proxy.find("://");
  const std::size_t start = slashes == std::string_view::npos ? 0 : slashes + 3;
  const std::size_t end = proxy.find('/', start);
  const std::size_t at = proxy.substr(0, end).rfind('@');
  if (at == std::string_view::npos || at < start) return std::string(proxy);
  return std::string(proxy.substr(0, start)) + std::string(proxy.substr(at + 1));
}

bool no_proxy_matches(std::string_view no_proxy, std::string_view host) {
  if (no_proxy.empty() || host.empty()) return false;
  if (no_proxy == "*") return true;
  enum class Kind { name, ipv4, ipv6 } kind = Kind::name;
  std::optional<std::uint32_t> v4;
  std::optional<Ipv6> v6;
  if (host.front() == '[' || host.find(':') != std::string_view::npos) {
    v6 = parse_ipv6(without_brackets(host));
    if (!v6) return false;
    kind = Kind::ipv6;
  } else if ((v4 = parse_ipv4(host))) {
    kind = Kind::ipv4;
  } else if (host.back() == '.') {
    host.remove_suffix(1);
  }
  for (std::string_view entry : split(no_proxy, ", \t")) {
    switch (kind) {
      case Kind::name: {
        if (!entry.empty() && entry.back() == '.') entry.remove_suffix(1);
        if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (entry.empty()) break;
        if (entry.size() == host.size() && iequals(entry, host)) return true;
        if (entry.size() < host.size() && host[host.size() - entry.size() - 1] == '.' &&
            iequals(entry, host.substr(host.size() - entry.size()))) {
          return true;
        }
        break;
      }
      case Kind::ipv4:
        if (ipv4_matches(*v4, entry)) return true;
        break;
      case Kind::ipv6:
        if (ipv6_matches(*v6, entry)) return true;
        break;
    }
  }
  return false;
}

namespace proxy_rules {

std::optional<Address> parse_address(std::string_view url) {
  Address out;
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return std::nullopt;
  out.scheme = ascii_lower(url.substr(0, scheme_end));
  if (out.scheme != "http" && out.scheme != "https") return std::nullopt;
  std::string_view authority = url.substr(scheme_end + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  const auto [host, port] = split_port(authority);
  if (host.empty() || port > 65535) return std::nullopt;
  // A colon left outside brackets is a bad port.
  if (host.front() != '[' && host.find(':') != std::string_view::npos) return std::nullopt;
  out.host = ascii_lower(without_brackets(host));
  if (out.host.empty()) return std::nullopt;
  out.port = port >= 0 ? port : (out.scheme == "https" ? 443 : 80);
  return out;
}

bool is_loopback(std::string_view host) {
  host = without_brackets(host);
  if (iequals(host, "localhost") ||
      (host.size() > 10 && iequals(host.substr(host.size() - 10), ".localhost"))) {
    return true;
  }
  if (const std::optional<std::uint32_t> v4 = parse_ipv4(host)) return (*v4 >> 24) == 127;
  if (const std::optional<Ipv6> v6 = parse_ipv6(host)) {
    Ipv6 one{};
    one[15] = 1;
    return *v6 == one;
  }
  return false;
}

std::optional<Proxy_Setting> from_environment(const Address& site, const Lookup& lookup) {
  // The first of `names` that is set and not empty.
  auto first = [&lookup](std::initializer_list<const char*> names) -> std::pair<std::string, std::string> {
    for (const char* name : names) {
      if (std::optional<std::string> value = lookup(name); value && !value->empty()) return {name, *value};
    }
    return {};
  };
  // libcurl never reads HTTP_PROXY: a web server sets it from a request's
  // "Proxy:" header for the programs it runs.
  auto [variable, proxy] = site.scheme == "https" ? first({"https_proxy", "HTTPS_PROXY"}) : first({"http_proxy"});
  if (proxy.empty()) std::tie(variable, proxy) = first({"all_proxy", "ALL_PROXY"});
  const auto [no_proxy_variable, no_proxy] = first({"no_proxy", "NO_PROXY"});
  if (no_proxy_matches(no_proxy, site.host)) {
    return Proxy_Setting{"", no_proxy, Proxy_Source::environment, no_proxy_variable, false};
  }
  if (proxy.empty()) return std::nullopt;
  return Proxy_Setting{proxy, no_proxy, Proxy_Source::environment, variable, false};
}

std::string windows_proxy_for(std::string_view proxy_value, std::string_view scheme) {
  std::string_view chosen, generic, socks;
  for (std::string_view entry : split(proxy_value, "; \t\r\n")) {
    const std::size_t equals = entry.find('=');
    const std::size_t slashes = entry.find("://");
    if (equals == std::string_view::npos || (slashes != std::string_view::npos && slashes < equals)) {
      if (generic.empty()) generic = entry;
      continue;
    }
    const std::string_view key = entry.substr(0, equals);
    const std::string_view value = entry.substr(equals + 1);
    if (value.empty()) continue;
    if (iequals(key, scheme) && chosen.empty()) chosen = value;
    if (iequals(key, "socks") && socks.empty()) socks = value;
  }
  std::string prefix = "http://";
  std::string_view value = !chosen.empty() ? chosen : generic;
  if (value.empty() && !socks.empty()) {
    value = socks;
    prefix = "socks4://";
  }
  if (value.empty()) return "";
  if (const std::size_t slashes = value.find("://"); slashes != std::string_view::npos) {
    std::string given = ascii_lower(value.substr(0, slashes));
    prefix = (given == "socks" ? "socks4" : given) + "://";
    value.remove_prefix(slashes + 3);
  }
  value = value.substr(0, value.find('/'));
  if (value.empty()) return "";
  std::string out = prefix + std::string(value);
  const std::string_view host_part = value.substr(value.rfind('@') == std::string_view::npos ? 0 : value.rfind('@') + 1);
  if (split_port(host_part).second < 0 && prefix == "http://") out += ":80";
  return out;
}

bool windows_loopback_direct(std::string_view bypass_list, const Address& site) {
  if (!is_loopback(site.host)) return false;
  for (std::string_view entry : split(bypass_list, "; \t\r\n")) {
    if (iequals(entry, "<-loopback>")) return false;
  }
  return true;
}

bool windows_bypass(std::string_view bypass_list, const Address& site) {
  if (windows_loopback_direct(bypass_list, site)) return true;
  const bool ip_literal = parse_ipv4(site.host).has_value() || site.host.find(':') != std::string::npos;
  for (std::string_view entry : split(bypass_list, "; \t\r\n")) {
    if (iequals(entry, "<-loopback>")) continue;
    if (iequals(entry, "<local>")) {
      if (!ip_literal && site.host.find('.') == std::string::npos) return true;
      continue;
    }
    if (const std::size_t slashes = entry.find("://"); slashes != std::string_view::npos) {
      if (!iequals(entry.substr(0, slashes), site.scheme)) continue;
      entry.remove_prefix(slashes + 3);
    }
    entry = entry.substr(0, entry.find('/'));
    auto [pattern, port] = split_port(entry);
    if (port >= 0 && port != site.port) continue;
    pattern = without_brackets(pattern);
    if (pattern.empty()) continue;
    // ".example.com" is read as "*.example.com".
    const std::string full = pattern.front() == '.' ? "*" + std::string(pattern) : std::string(pattern);
    if (glob_matches(full, site.host)) return true;
  }
  return false;
}

bool has_credentials(std::string_view proxy) {
  if (const std::size_t slashes = proxy.find("://"); slashes != std::string_view::npos) {
    proxy.remove_prefix(slashes + 3);
  }
  proxy = proxy.substr(0, proxy.find('/'));
  return proxy.find('@') != std::string_view::npos;
}

}  // namespace proxy_rules
}  // namespace travo::platform
