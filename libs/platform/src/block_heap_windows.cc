#include "travo/platform/block_heap.h"

#include <windows.h>

#include <cstring>

namespace travo::platform {
namespace {

// A heap never decommits below the size it was created with: 16 MB covers
// a result page's tree many times over and an ordinary report's, and costs
// address space and commit charge, not resident memory, until it is used.
constexpr SIZE_T kKeptCommitted = 16u << 20;

HANDLE heap() noexcept {
  static const HANDLE handle = [] {
    HANDLE h = HeapCreate(0, kKeptCommitted, 0);
    return h ? h : GetProcessHeap();
  }();
  return handle;
}

}  // namespace

void* block_alloc(std::size_t size) noexcept { return HeapAlloc(heap(), 0, size ? size : 1); }

void* block_realloc(void* block, std::size_t size) noexcept {
  if (!block) return block_alloc(size);
  return HeapReAlloc(heap(), 0, block, size ? size : 1);
}

void block_free(void* block) noexcept {
  if (block) HeapFree(heap(), 0, block);
}

char* block_strdup(const char* text) noexcept {
  if (!text) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(block_alloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace travo::platform
