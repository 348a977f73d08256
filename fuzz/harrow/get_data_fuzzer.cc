// Result-page extraction on arbitrary bytes: never crashes, always six lists.
#include <cstddef>
#include <cstdint>
#include <string>

#include "travo/harrow/extract.h"
#include "travo/html/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  auto doc = travo::html::Document::parse(page);
  travo::harrow::Page_Data d = travo::harrow::extract_hits(doc);
  if (d.columns().size() != 6) __builtin_trap();
  if (auto count = travo::harrow::find_count(doc)) {
    try {
      (void)travo::harrow::parse_count(*count);
    } catch (const std::invalid_argument&) {
    }
  }
  return 0;
}
