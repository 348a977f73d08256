// The page query on arbitrary INFO texts and page numbers: it never fails for
// a page number that is not negative and always ends with "^" and the code;
// for ASCII values it matches a plain byte-wise rewrite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "travo/harrow/page_query.h"

namespace {

std::string ascii_rewrite(const std::string& info, int pages) {
  auto range = [&](size_t from, size_t to) {
    if (from >= info.size()) return std::string();
    return info.substr(from, std::min(to, info.size()) - from);
  };
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(pages));
  return range(0, 15) + "1" + range(16, 22) + hex + range(24, 43) + "4" + range(44, info.size()) + "^1";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int32_t pages;
  std::memcpy(&pages, data, 4);
  const std::string info(reinterpret_cast<const char*>(data) + 4, size - 4);
  std::string q;
  try {
    q = travo::harrow::page_query(info, pages, 1);
  } catch (const std::invalid_argument&) {
    if (pages >= 0) __builtin_trap();
    return 0;
  }
  if (q.size() < 2 || q.compare(q.size() - 2, 2, "^1") != 0) __builtin_trap();
  bool ascii = true;
  for (unsigned char c : info) ascii = ascii && c < 0x80;
  if (ascii && q != ascii_rewrite(info, pages)) __builtin_trap();
  return 0;
}
