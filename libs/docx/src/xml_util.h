// Internal helpers over libxml2 trees of WordprocessingML parts.
#pragma once

#include <libxml/tree.h>

#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "travo/docx/namespaces.h"

namespace travo::docx::detail {

// Parses `bytes` with no network access, no external entities and no DTD.
// `what` names the input in error messages ("part 'word/document.xml'").
xmlDocPtr parse_xml(std::string_view bytes, std::string_view what);
// The whole document with an XML declaration, UTF-8.
std::string serialize_xml(xmlDocPtr doc);
// The same, handed to `sink` in chunks of a few kilobytes as it is written,
// so that a large part is never whole in memory. The sink returns false to
// stop; returns false when it did or libxml2 failed.
bool serialize_xml(xmlDocPtr doc, const std::function<bool(std::string_view)>& sink);

inline const char* chars(const xmlChar* s) { return reinterpret_cast<const char*>(s); }
inline const xmlChar* xchars(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

// xmlStrEqual compares byte by byte; these checks run for every node a
// walk passes, on namespace URIs of some 60 characters that share their
// first 30, so they take the C library's vectorised strcmp.
inline bool same(const xmlChar* a, const char* b) {
  return a && std::strcmp(chars(a), b) == 0;
}
inline bool is_elem(const xmlNode* n, const char* ns_uri, const char* local) {
  return n && n->type == XML_ELEMENT_NODE && n->ns && same(n->name, local) &&
         same(n->ns->href, ns_uri);
}
inline bool in_w(const xmlNode* n) {
  return n && n->type == XML_ELEMENT_NODE && n->ns && same(n->ns->href, ns::kW);
}
inline bool is_w(const xmlNode* n, const char* local) { return is_elem(n, ns::kW, local); }

// First direct child w:`local`, or nullptr.
xmlNodePtr w_child(const xmlNode* parent, const char* local);
std::vector<xmlNodePtr> w_children(const xmlNode* parent, const char* local);
// Previous / next sibling that is a w:`local` element.
xmlNodePtr prev_w(const xmlNode* n, const char* local);
xmlNodePtr next_w(const xmlNode* n, const char* local);

// Attributes in the WordprocessingML namespace (w:val, w:type, ...).
std::optional<std::string> w_attr(const xmlNode* n, const char* local);
void set_w_attr(xmlNodePtr n, const char* local, std::string_view value);
void remove_w_attr(xmlNodePtr n, const char* local);
// An attribute value as a whole decimal number; nothing when absent or not one.
std::optional<long> int_value(const std::optional<std::string>& v);
// An unqualified attribute.
std::optional<std::string> plain_attr(const xmlNode* n, const char* name);

// All character data below `n`.
std::string content(const xmlNode* n);

// `n` copied as the root of a document of its own, which declares every
// namespace the copy uses and writes WordprocessingML with the prefix "w".
// The caller frees the document.
xmlDocPtr copy_to_document(const xmlNode* n);
// `n` serialised as the root of such a copy.
std::string element_xml(const xmlNode* n);

// The namespace declaration for `href` in scope at the document root,
// declared there (with `prefix`, or a numbered variant when that prefix is
// taken) when missing.
xmlNsPtr ensure_ns(xmlDocPtr doc, const char* href, const char* prefix);
// A new, unlinked w:`local` element of `doc`.
xmlNodePtr new_w(xmlDocPtr doc, const char* local);
// Appends a text node child.
void add_text(xmlNodePtr parent, std::string_view text);

// The child w:`local` of `parent`, created when missing at its place in the
// schema sequence `order` (before the first child that comes later in it).
xmlNodePtr get_or_add(xmlNodePtr parent, const char* local, std::span<const char* const> order);
// Removes every direct child w:`local`.
void remove_w_children(xmlNodePtr parent, const char* local);

// Child sequences of the property elements, in schema order.
extern const std::span<const char* const> kPPrOrder;
extern const std::span<const char* const> kRPrOrder;
extern const std::span<const char* const> kTcPrOrder;
extern const std::span<const char* const> kTrPrOrder;
extern const std::span<const char* const> kTblPrOrder;
extern const std::span<const char* const> kPOrder;    // w:pPr first
extern const std::span<const char* const> kROrder;    // w:rPr first
extern const std::span<const char* const> kTcOrder;   // w:tcPr first
extern const std::span<const char* const> kTrOrder;   // w:tblPrEx, w:trPr first
extern const std::span<const char* const> kTblOrder;  // w:tblPr, w:tblGrid first

// Throws travo::docx::Error unless `text` is valid UTF-8 free of control characters
// other than tab, line feed and carriage return (XML 1.0 cannot carry them).
void check_text(std::string_view text, std::string_view what);

}  // namespace travo::docx::detail
