// Small text operations of the replacement walks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quire_model {

// `text` with every occurrence of `key` (left to right, not overlapping)
// replaced by `with`. `key` must not be empty.
inline std::string replace_all(std::string_view text, std::string_view key, std::string_view with) {
  std::string out;
  out.reserve(text.size() + with.size());
  size_t from = 0;
  for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, from)) {
    out.append(text.substr(from, at - from));
    out.append(with);
    from = at + key.size();
  }
  out.append(text.substr(from));
  return out;
}

// The pieces of `text` between occurrences of `separator`: n separators
// give n + 1 pieces, empty ones included. `separator` must not be empty.
inline std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> out;
  size_t from = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, from)) {
    out.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  out.push_back(text.substr(from));
  return out;
}

// True when `text` is valid UTF-8 without control characters and without
// U+FFFE / U+FFFF: text that a run takes as it is, one w:t per piece, and
// that a paragraph rebuilt from it reads back unchanged.
inline bool plain_text(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      if (c < 0x20) return false;
      ++i;
      continue;
    }
    const int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (len == 0 || i + len > n) return false;
    uint32_t cp = c & (0xFF >> (len + 1));
    for (int k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
      return false;
    i += static_cast<size_t>(len);
  }
  return true;
}

}  // namespace quire_model
