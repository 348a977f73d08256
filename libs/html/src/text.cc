// trim(): strips Unicode White_Space code points from both ends of UTF-8.
//
// Only complete, valid encodings of white-space code points are removed. A
// UTF-8 lead byte is never a continuation byte, so a white-space sequence
// found at either end is always a whole character; invalid bytes around it
// are left as they are.
#include <cstddef>
#include <string>
#include <string_view>

#include "travo/html/document.h"

namespace travo::html {
namespace {

using u8 = unsigned char;

// Length of the white-space character that starts at s[i], or 0.
std::size_t space_at(std::string_view s, std::size_t i) {
  const std::size_t left = s.size() - i;
  const u8 b0 = static_cast<u8>(s[i]);
  if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
  if (b0 == 0xC2 && left >= 2) {
    const u8 b1 = static_cast<u8>(s[i + 1]);
    return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;  // U+0085, U+00A0
  }
  if (left < 3) return 0;
  const u8 b1 = static_cast<u8>(s[i + 1]);
  const u8 b2 = static_cast<u8>(s[i + 2]);
  switch (b0) {
    case 0xE1:  // U+1680
      return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    case 0xE2:
      if (b1 == 0x80) {
        // U+2000..U+200A, U+2028, U+2029, U+202F
        return ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
      }
      return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;  // U+205F
    case 0xE3:  // U+3000
      return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    default:
      return 0;
  }
}

// Length of the white-space character that ends at s[end - 1], or 0.
std::size_t space_before(std::string_view s, std::size_t begin, std::size_t end) {
  const std::size_t avail = end - begin;
  const u8 last = static_cast<u8>(s[end - 1]);
  if (last < 0x80) return ((last >= 0x09 && last <= 0x0D) || last == 0x20) ? 1 : 0;
  if (last > 0xBF) return 0;  // not a continuation byte: no multi-byte character ends here
  if (avail >= 2 && space_at(s, end - 2) == 2) return 2;
  if (avail >= 3 && space_at(s, end - 3) == 3) return 3;
  return 0;
}

}  // namespace

std::string first_chars(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t count = 0; i < s.size() && count < n; ++count) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
  return std::string(s.substr(0, i));
}

std::string trim(std::string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end) {
    std::size_t n = space_at(s.substr(0, end), begin);
    if (n == 0) break;
    begin += n;
  }
  while (end > begin) {
    std::size_t n = space_before(s, begin, end);
    if (n == 0) break;
    end -= n;
  }
  return std::string(s.substr(begin, end - begin));
}

}  // namespace travo::html
