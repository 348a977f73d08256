// Private helpers over libxml2's tree shared by the document, serializer and
// selector code. Nothing here allocates on the hot paths.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "travo/text/ascii.h"

namespace travo::html::detail {

inline xmlNodePtr as_node(void* raw) { return static_cast<xmlNodePtr>(raw); }

inline const char* chars(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

inline std::string_view view(const xmlChar* s) {
  return s == nullptr ? std::string_view() : std::string_view(chars(s));
}

using text::ascii_lower;

inline bool is_ascii_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// `name` (NUL-terminated) equals `other`, ignoring ASCII case.
inline bool equals_ci(const xmlChar* name, std::string_view other) {
  if (name == nullptr) return false;
  const char* p = chars(name);
  for (char c : other) {
    if (*p == '\0' || ascii_lower(*p) != ascii_lower(c)) return false;
    ++p;
  }
  return *p == '\0';
}

inline bool is_element(xmlNodePtr n) { return n != nullptr && n->type == XML_ELEMENT_NODE; }

// Nodes whose `children` are part of the document tree (an entity reference's
// or a DTD's `children` point into declarations instead).
inline bool has_tree_children(xmlNodePtr n) {
  switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return true;
    default:
      return false;
  }
}

// Calls f(node) for every node below `scope` in document (pre-)order, scope
// itself excluded, without recursion. Stops early when f returns false.
template <class F>
void for_each_descendant(xmlNodePtr scope, F&& f) {
  if (scope == nullptr || !has_tree_children(scope)) return;
  xmlNodePtr n = scope->children;
  while (n != nullptr) {
    if (!f(n)) return;
    if (n->children != nullptr && has_tree_children(n)) {
      n = n->children;
      continue;
    }
    while (n != nullptr && n != scope && n->next == nullptr) n = n->parent;
    if (n == scope || n == nullptr) return;
    n = n->next;
  }
}

// The attribute named `name` (ASCII case ignored), or nullptr.
inline xmlAttrPtr find_attr(xmlNodePtr el, std::string_view name) {
  if (!is_element(el)) return nullptr;
  for (xmlAttrPtr a = el->properties; a != nullptr; a = a->next) {
    if (equals_ci(a->name, name)) return a;
  }
  return nullptr;
}

// The value of `a`. The HTML parser stores it as one text child, which is
// returned in place; anything else is concatenated into `scratch`.
inline std::string_view attr_value(xmlAttrPtr a, std::string& scratch) {
  xmlNodePtr c = a->children;
  if (c == nullptr) return {};
  if (c->next == nullptr && (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE)) {
    return view(c->content);
  }
  scratch.clear();
  for (; c != nullptr; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      scratch += view(c->content);
    } else if (c->type == XML_ENTITY_REF_NODE) {
      // Not produced by the HTML parser; keep the reference as written.
      scratch += '&';
      scratch += view(c->name);
      scratch += ';';
    }
  }
  return scratch;
}

// `list` is a white-space separated list containing the token `cls`.
inline bool token_list_contains(std::string_view list, std::string_view cls) {
  if (cls.empty()) return false;
  std::size_t i = 0;
  const std::size_t n = list.size();
  while (i < n) {
    while (i < n && is_ascii_space(list[i])) ++i;
    std::size_t start = i;
    while (i < n && !is_ascii_space(list[i])) ++i;
    if (i - start == cls.size() && list.compare(start, cls.size(), cls) == 0) return true;
  }
  return false;
}

// Serialization (serialize.cc).
void append_children_html(xmlNodePtr parent, std::string& out);
void append_node_html(xmlNodePtr node, std::string& out);
void append_pretty(xmlNodePtr parent, std::string& out);  // the children of `parent`
void append_pretty_node(xmlNodePtr node, std::string& out);  // `node` itself

}  // namespace travo::html::detail
