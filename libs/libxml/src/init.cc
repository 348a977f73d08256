#include "travo/libxml/init.h"

#include <libxml/parser.h>
#include <libxml/xmlmemory.h>

#include <mutex>

#include "travo/platform/block_heap.h"

namespace travo::libxml {

void init() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlMemSetup(platform::block_free, platform::block_alloc, platform::block_realloc,
                platform::block_strdup);
    xmlInitParser();
  });
}

namespace {

// Before main and before any other code of the program can reach libxml2.
[[maybe_unused]] const bool initialised_early = (init(), true);

}  // namespace

}  // namespace travo::libxml
