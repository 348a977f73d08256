#include "travo/platform/block_heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace travo::platform {
namespace {

TEST(BlockHeap, HasTheContractsOfTheMallocFamily) {
  void* a = block_alloc(0);
  void* b = block_alloc(0);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);  // a size of 0 still gives a block of its own
  block_free(a);
  block_free(b);
  block_free(nullptr);

  auto* p = static_cast<char*>(block_realloc(nullptr, 10));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "012345678", 10);
  p = static_cast<char*>(block_realloc(p, 1 << 20));  // grows past any small-block bin
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "012345678");
  p = static_cast<char*>(block_realloc(p, 4));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, 4), "0123");
  block_free(p);

  char* copy = block_strdup("專利 patent");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "專利 patent");
  block_free(copy);
  EXPECT_EQ(block_strdup(nullptr), nullptr);
}

// Blocks allocated on one thread are freed on another, as a tree built by
// the search worker may be freed by whoever holds it last.
TEST(BlockHeap, IsSafeAcrossThreads) {
  std::vector<void*> blocks(4000);
  std::thread maker([&] {
    for (size_t i = 0; i < blocks.size(); ++i) {
      blocks[i] = block_alloc(16 + i % 200);
      std::memset(blocks[i], 0x5a, 16 + i % 200);
    }
  });
  maker.join();
  std::thread a([&] {
    for (size_t i = 0; i < blocks.size(); i += 2) block_free(blocks[i]);
  });
  std::thread b([&] {
    for (size_t i = 1; i < blocks.size(); i += 2) block_free(blocks[i]);
    for (int i = 0; i < 4000; ++i) block_free(block_alloc(static_cast<size_t>(i % 300)));
  });
  a.join();
  b.join();
}

}  // namespace
}  // namespace travo::platform
