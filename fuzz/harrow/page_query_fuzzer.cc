// The page query on arbitrary INFO texts and page numbers: the rewrite keeps
// every byte it does not replace and always ends with "^" and the code.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "travo/harrow/page_query.h"

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
  if (q.size() < info.size()) __builtin_trap();
  return 0;
}
