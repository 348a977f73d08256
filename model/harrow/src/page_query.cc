#include "travo/harrow/page_query.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace travo::harrow {
namespace {

// Byte offsets of each code point start in `s`, plus s.size() at the end.
// Invalid bytes count as one character each, so nothing is ever dropped.
std::vector<size_t> char_starts(std::string_view s) {
  std::vector<size_t> starts;
  starts.reserve(s.size() + 1);
  size_t i = 0;
  while (i < s.size()) {
    starts.push_back(i);
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = 1;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    if (i + len > s.size()) len = 1;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
        len = 1;
        break;
      }
    }
    i += len;
  }
  starts.push_back(s.size());
  return starts;
}

}  // namespace

std::string pages_hex(int pages) {
  if (pages < 0) throw std::invalid_argument("頁碼不可為負數: " + std::to_string(pages));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(pages));
  return buf;
}

std::string page_query(std::string_view info, int pages, int code) {
  const std::string hex = pages_hex(pages);
  const std::string code_text = std::to_string(code);
  const std::vector<size_t> starts = char_starts(info);
  const size_t n = starts.size() - 1;  // characters in info
  // Characters [from, to) of info, clipped to what exists.
  auto range = [&](size_t from, size_t to) -> std::string_view {
    if (from >= n) return {};
    if (to > n) to = n;
    return info.substr(starts[from], starts[to] - starts[from]);
  };

  std::string q;
  q.reserve(info.size() + hex.size() + 2 * code_text.size() + 4);
  q += range(0, 15);
  q += code_text;
  q += range(16, 22);
  q += hex;
  q += range(24, 43);
  q += "4";
  q += range(44, n);
  q += "^";
  q += code_text;
  return q;
}

}  // namespace travo::harrow
