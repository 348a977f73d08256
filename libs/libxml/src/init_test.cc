#include "travo/libxml/init.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <string>
#include <thread>

#include "travo/platform/block_heap.h"

namespace travo::libxml {
namespace {

// The allocator is in place before main, before anything could have
// allocated through libxml2 with another one.
TEST(LibxmlInit, LibxmlAllocatesFromTheBlockHeapFromTheStart) {
  xmlFreeFunc free_fn = nullptr;
  xmlMallocFunc malloc_fn = nullptr;
  xmlReallocFunc realloc_fn = nullptr;
  xmlStrdupFunc strdup_fn = nullptr;
  ASSERT_EQ(xmlMemGet(&free_fn, &malloc_fn, &realloc_fn, &strdup_fn), 0);
  EXPECT_EQ(free_fn, &platform::block_free);
  EXPECT_EQ(malloc_fn, &platform::block_alloc);
  EXPECT_EQ(realloc_fn, &platform::block_realloc);
  EXPECT_EQ(strdup_fn, &platform::block_strdup);
  init();  // again: nothing changes
  ASSERT_EQ(xmlMemGet(&free_fn, &malloc_fn, &realloc_fn, &strdup_fn), 0);
  EXPECT_EQ(malloc_fn, &platform::block_alloc);
}

// Trees built, serialised and freed on two threads at once, in waves.
TEST(LibxmlInit, TreesComeAndGoOnSeveralThreads) {
  auto work = [](int seed) {
    for (int round = 0; round < 50; ++round) {
      std::string xml = "<r>";
      for (int i = 0; i < 300; ++i)
        xml += "<p n=\"" + std::to_string(seed * 1000 + i) + "\">專利 " + std::to_string(i) + "</p>";
      xml += "</r>";
      xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8",
                                    XML_PARSE_NONET);
      ASSERT_NE(doc, nullptr);
      xmlChar* out = nullptr;
      int size = 0;
      xmlDocDumpMemory(doc, &out, &size);
      ASSERT_NE(out, nullptr);
      EXPECT_NE(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(size)).find("專利 299"),
                std::string::npos);
      xmlFree(out);
      xmlFreeDoc(doc);
    }
  };
  std::thread a(work, 1), b(work, 2);
  a.join();
  b.join();
}

}  // namespace
}  // namespace travo::libxml
