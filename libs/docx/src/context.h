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

// Outlives the Document while handles remain: a handle destroyed after its
// Document must not touch the freed tree.
struct Hold_Registry {
  long handles = 0;
  bool document_gone = false;
};

// The number of live handles on a node, kept in its _private field (which
// nothing else in the library or libxml2's default setup uses).
inline long hold_count(const xmlNode* n) { return reinterpret_cast<intptr_t>(n->_private); }
inline void add_hold(xmlNode* n, long delta) {
  n->_private = reinterpret_cast<void*>(reinterpret_cast<intptr_t>(n->_private) + delta);
}

struct Context {
  Package package;
  std::string main_part;
  xmlDocPtr doc = nullptr;  // owned by `package`
  xmlNodePtr body = nullptr;

  // Nodes removed from the tree while a handle stood for some of their
  // content. They are freed with the Document, so that handles to removed
  // content never dangle.
  std::vector<xmlNodePtr> discarded;
  Hold_Registry* registry = new Hold_Registry;

  // Picture bookkeeping, built on first use: media parts by content hash,
  // and the next free drawing-object id.
  bool media_indexed = false;
  std::multimap<std::uint64_t, std::string> media_by_hash;
  std::optional<std::uint32_t> next_shape_id;

  explicit Context(Package p) : package(std::move(p)) {}
  ~Context() {
    for (xmlNodePtr n : discarded) xmlFreeNode(n);
    if (registry->handles == 0) delete registry;
    else registry->document_gone = true;
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Unlinks `n` from the tree; frees it now unless a handle stands for it
  // or for something inside it, else keeps it until the Document goes.
  // Rebuilding content again and again (a paragraph per replaced key) then
  // costs memory for what is in the tree, not for all it ever held.
  void discard(xmlNodePtr n) {
    xmlUnlinkNode(n);
    if (held(n)) discarded.push_back(n);
    else xmlFreeNode(n);
  }

  // Whether a handle stands for `n` or a node below it.
  static bool held(const xmlNode* n) {
    if (hold_count(n) != 0) return true;
    if (n->type != XML_ELEMENT_NODE) return false;
    for (const xmlNode* c = n->children; c; c = c->next)
      if (held(c)) return true;
    return false;
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
