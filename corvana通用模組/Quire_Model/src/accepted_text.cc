// Accepted-text extraction: a paragraph's text as it reads once all of its
// tracked changes are accepted.

#include <libxml/tree.h>

#include <cstring>
#include <string>
#include <string_view>

#include "docx/namespaces.h"
#include "docx/xml.h"
#include "quire_model/document.h"

namespace quire_model {
namespace {

constexpr std::string_view kChangeTriggers[] = {"w:del", "w:ins"};
constexpr std::string_view kChangeOrBreakTriggers[] = {"w:del", "w:ins", "w:br"};

const char* chars(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

// The name as the paragraph's serialised XML writes it: WordprocessingML
// always with the prefix "w", other namespaces with their own prefix.
std::string serialised_name(const xmlNs* ns, const xmlChar* local) {
  std::string out;
  if (ns && ns->href && std::strcmp(chars(ns->href), docx::ns::kW) == 0) {
    out = "w:";
  } else if (ns && ns->prefix) {
    out = chars(ns->prefix);
    out += ':';
  }
  out += chars(local);
  return out;
}

template <size_t N>
bool holds_any(std::string_view text, const std::string_view (&triggers)[N]) {
  for (std::string_view t : triggers)
    if (text.find(t) != std::string_view::npos) return true;
  return false;
}

// True when the paragraph's serialised XML would contain one of `triggers`
// as a substring. The paragraph is read in place instead of being
// serialised: names, attribute values and character data are all the
// serialised text can hold these substrings in.
template <size_t N>
bool markup_mentions(const xmlNode* root, const std::string_view (&triggers)[N]) {
  const xmlNode* n = root;
  while (n) {
    switch (n->type) {
      case XML_ELEMENT_NODE:
        if (holds_any(serialised_name(n->ns, n->name), triggers)) return true;
        for (const xmlAttr* a = n->properties; a; a = a->next) {
          if (holds_any(serialised_name(a->ns, a->name), triggers)) return true;
          for (const xmlNode* v = a->children; v; v = v->next)
            if (v->content && holds_any(chars(v->content), triggers)) return true;
        }
        break;
      case XML_PI_NODE:
        if (holds_any(chars(n->name), triggers)) return true;
        [[fallthrough]];
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
        if (n->content && holds_any(chars(n->content), triggers)) return true;
        break;
      default:
        break;
    }
    // Depth-first, in document order, without leaving `root`.
    if (n->type == XML_ELEMENT_NODE && n->children) {
      n = n->children;
      continue;
    }
    while (n != root && !n->next) n = n->parent;
    n = n == root ? nullptr : n->next;
  }
  return false;
}

bool is_w(const docx::XmlElement& e, std::string_view local) {
  return e.local_name() == local && e.namespace_uri() == docx::ns::kW;
}

bool is_page_break(const docx::XmlElement& br) {
  return br.attribute("type", docx::ns::kW).value_or("") == "page";
}

}  // namespace

std::string Quire_Model::Document::get_accepted_text(const docx::Paragraph& p) const {
  if (!markup_mentions(p.node(), kChangeOrBreakTriggers)) return p.text();
  std::string out;
  const docx::XmlElement root(p.node());
  for (const docx::XmlElement& run : root.descendants(docx::ns::kW, "r")) {
    for (const docx::XmlElement& child : run.children()) {
      if (is_w(child, "br") && is_page_break(child)) {
        out += kPageMarker;
      } else if (is_w(child, "t")) {
        out += child.text();
      }
    }
  }
  return out;
}

std::string Quire_Model::Document::_get_accepted_text(const docx::Paragraph& p) const {
  if (!markup_mentions(p.node(), kChangeTriggers)) return p.text();
  std::string out;
  const docx::XmlElement root(p.node());
  if (is_w(root, "t")) out += root.text();
  for (const docx::XmlElement& t : root.descendants(docx::ns::kW, "t")) out += t.text();
  return out;
}

std::string Quire_Model::Document::ttff(std::string_view xml) const {
  const docx::XmlDocument parsed = docx::XmlDocument::parse(xml);
  std::string out;
  for (const docx::XmlElement& run : parsed.root().children(docx::ns::kW, "r")) {
    if (auto br = run.first_child(docx::ns::kW, "br"); br && is_page_break(*br)) {
      out += kRunPageMarker;
    }
    if (auto t = run.first_child(docx::ns::kW, "t")) out += t->text();
  }
  return out;
}

}  // namespace quire_model
