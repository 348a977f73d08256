// The memory of a parsed main document part, per tree library, over the
// size of its XML: what the docx layer's tree costs against a compact one.
//
// Usage: tree_bench DOCUMENT.docx
// Prints "tree_libxml2_mem_x: X" (libxml2 with the docx layer's options)
// and "tree_pugixml_mem_x: X", each the resident memory that parsing added
// over the XML's size, and their parse times in ms. Each tree is measured in
// a child process of its own, so that neither sees the other's heap.

#include <libxml/parser.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <string>

#include "travo/docx/package.h"

namespace {

long rss_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

template <class Parse>
void measure(const char* name, const std::string& xml, Parse parse) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    const long before = rss_kb();
    const auto t0 = std::chrono::steady_clock::now();
    auto tree = parse();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const long after = rss_kb();
    std::printf("tree_%s_mem_x: %.1f\n", name, (after - before) * 1024.0 / xml.size());
    std::printf("tree_%s_parse_ms: %.1f\n", name, ms);
    std::fflush(stdout);
    _exit(tree ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tree_bench DOCUMENT.docx\n");
    return 2;
  }
  const std::string xml =
      travo::docx::Package::open(argv[1]).part_data("word/document.xml");
  measure("libxml2", xml, [&] {
    return xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT);
  });
  measure("pugixml", xml, [&] {
    auto doc = new pugi::xml_document;
    // Parsing from a copy: the docx layer keeps no XML text beside the tree.
    return doc->load_buffer(xml.data(), xml.size()) ? doc : nullptr;
  });
  std::printf("tree_doc_xml_mb: %.2f\n", xml.size() / 1048576.0);
  return 0;
}
