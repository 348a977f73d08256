#include "travo/platform/block_heap.h"

#include <cstdlib>
#include <cstring>

namespace travo::platform {

void* block_alloc(std::size_t size) noexcept { return std::malloc(size ? size : 1); }

void* block_realloc(void* block, std::size_t size) noexcept {
  return std::realloc(block, size ? size : 1);
}

void block_free(void* block) noexcept { std::free(block); }

char* block_strdup(const char* text) noexcept {
  if (!text) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace travo::platform
