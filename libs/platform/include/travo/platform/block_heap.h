// Memory for libraries that allocate and free many small blocks in waves:
// an XML tree of thousands of nodes built for a page and freed after it.
//
// On Windows these come from a private heap whose first megabytes stay
// committed. msvcrt's own heap gives back (decommits) the free end of its
// memory at every wave and takes it again at the next, two system calls and
// fresh zeroed pages per page parsed; under Wine that was three quarters of
// reading a result page. Elsewhere they are the C library's malloc family,
// which already keeps freed memory for reuse.
//
// The four functions have the contracts of malloc, realloc, free and strdup
// (a size of 0 gives a unique pointer), and are safe from any thread. A block
// must be freed or resized only through them.
#pragma once

#include <cstddef>

namespace travo::platform {

void* block_alloc(std::size_t size) noexcept;
void* block_realloc(void* block, std::size_t size) noexcept;
void block_free(void* block) noexcept;
char* block_strdup(const char* text) noexcept;

}  // namespace travo::platform
