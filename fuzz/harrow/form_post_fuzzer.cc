// The form re-post step on an arbitrary first reply.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "travo/harrow/spider_travo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  try {
    auto post = travo::harrow::read_form_post(reply, "http://127.0.0.1:8631/travo2/travokmc/travobkm", "石墨烯");
    if (post && post->target.empty()) __builtin_trap();
  } catch (const std::runtime_error&) {
    // An unusable action is a clear error, not a crash.
  }
  return 0;
}
