// The state a Document shares with its handles.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "travo/docx/package.h"
#include "travo/docx/table.h"
#include "travo/docx/xml.h"

namespace travo::docx::detail {

struct Context {
  Package package;
  std::string main_part;
  xmlDocPtr doc = nullptr;  // owned by `package`
  xmlNodePtr body = nullptr;

  // Nodes removed from the tree. They are freed with the Document, so that
  // handles to removed content never dangle.
  std::vector<xmlNodePtr> discarded;

  // Picture bookkeeping, built on first use: media parts by content hash,
  // and the next free drawing-object id.
  bool media_indexed = false;
  std::multimap<std::uint64_t, std::string> media_by_hash;
  std::optional<std::uint32_t> next_shape_id;

  explicit Context(Package p) : package(std::move(p)) {}
  ~Context() {
    for (xmlNodePtr n : discarded) xmlFreeNode(n);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Unlinks `n` from the tree and keeps it until the Document goes.
  void discard(xmlNodePtr n) {
    xmlUnlinkNode(n);
    discarded.push_back(n);
  }
};

// The library's own way to the nodes behind its public handles, which keep
// them private so that no caller reaches past the handles into libxml2.
struct Access {
  template <class Handle>
  static Handle make(xmlNodePtr node, Context* ctx) {
    return Handle(node, ctx);
  }
  static Xml_Element element(xmlNodePtr node) { return Xml_Element(node); }
  static xmlDocPtr xml_part(Package& package, std::string_view name) {
    return package.xml_part(name);
  }
  // An Xml_Document that owns `doc` (freed with it, also when this throws).
  static Xml_Document adopt(xmlDocPtr doc);
};

}  // namespace travo::docx::detail
