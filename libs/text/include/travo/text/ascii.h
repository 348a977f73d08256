// ASCII case and white space, for names that protocols and formats define in
// ASCII: HTTP header names and values, HTML tag and attribute names, the
// part names and extensions of a Word package, cookie pairs. Bytes outside
// ASCII pass through unchanged, so UTF-8 text is never damaged; text that
// people read is trimmed by the Unicode-aware travo::html::trim instead.
#pragma once

#include <string>
#include <string_view>

namespace travo::text {

constexpr char ascii_lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

// Equal when ASCII letters are compared without case.
constexpr bool iequals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::string_view::size_type i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// `s` without leading and trailing spaces, tabs, carriage returns and line
// feeds.
constexpr std::string_view trim_ascii(std::string_view s) noexcept {
  constexpr std::string_view kSpace = " \t\r\n";
  const auto first = s.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

}  // namespace travo::text
