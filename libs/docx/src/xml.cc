#include "travo/docx/xml.h"

#include <libxml/tree.h>

#include "context.h"
#include "travo/docx/namespaces.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

bool matches(const xmlNode* n, std::string_view ns_uri, std::string_view local) {
  if (n->type != XML_ELEMENT_NODE) return false;
  if (local != detail::chars(n->name)) return false;
  if (!n->ns || !n->ns->href) return ns_uri.empty();
  return ns_uri == detail::chars(n->ns->href);
}

void collect(const xmlNode* parent, std::string_view ns_uri, std::string_view local,
             Alternates alternates, std::vector<Xml_Element>& out) {
  const bool pick = alternates == Alternates::first_choice &&
                    detail::is_elem(parent, ns::kMc, "AlternateContent");
  bool chosen = false;
  for (xmlNodePtr c = parent->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    if (pick) {
      // The first mc:Choice stands for the whole; later ones and
      // mc:Fallback repeat it in other forms.
      if (chosen || !detail::is_elem(c, ns::kMc, "Choice")) continue;
      chosen = true;
    }
    if (matches(c, ns_uri, local)) out.push_back(detail::Access::element(c));
    collect(c, ns_uri, local, alternates, out);
  }
}

}  // namespace

std::string Xml_Element::local_name() const { return detail::chars(node_->name); }

std::string Xml_Element::namespace_uri() const {
  return node_->ns && node_->ns->href ? detail::chars(node_->ns->href) : "";
}

std::string Xml_Element::tag() const {
  std::string uri = namespace_uri();
  return uri.empty() ? local_name() : "{" + uri + "}" + local_name();
}

std::optional<std::string> Xml_Element::attribute(std::string_view local,
                                                 std::string_view ns_uri) const {
  std::string name(local);
  xmlChar* v = ns_uri.empty()
                   ? xmlGetNoNsProp(node_, detail::xchars(name.c_str()))
                   : xmlGetNsProp(node_, detail::xchars(name.c_str()),
                                  detail::xchars(std::string(ns_uri).c_str()));
  if (!v) return std::nullopt;
  std::string out(detail::chars(v));
  xmlFree(v);
  return out;
}

std::string Xml_Element::text() const { return detail::content(node_); }

std::vector<Xml_Element> Xml_Element::children() const {
  std::vector<Xml_Element> out;
  for (xmlNodePtr c = node_->children; c; c = c->next)
    if (c->type == XML_ELEMENT_NODE) out.push_back(Xml_Element(c));
  return out;
}

std::vector<Xml_Element> Xml_Element::children(std::string_view ns_uri,
                                             std::string_view local) const {
  std::vector<Xml_Element> out;
  for (xmlNodePtr c = node_->children; c; c = c->next)
    if (matches(c, ns_uri, local)) out.push_back(Xml_Element(c));
  return out;
}

std::optional<Xml_Element> Xml_Element::first_child(std::string_view ns_uri,
                                                  std::string_view local) const {
  for (xmlNodePtr c = node_->children; c; c = c->next)
    if (matches(c, ns_uri, local)) return Xml_Element(c);
  return std::nullopt;
}

std::vector<Xml_Element> Xml_Element::descendants(std::string_view ns_uri, std::string_view local,
                                                Alternates alternates) const {
  std::vector<Xml_Element> out;
  collect(node_, ns_uri, local, alternates, out);
  return out;
}

struct Xml_Document::Impl {
  xmlDocPtr doc = nullptr;
  ~Impl() {
    if (doc) xmlFreeDoc(doc);
  }
};

Xml_Document::Xml_Document() : impl_(std::make_unique<Impl>()) {}
Xml_Document::Xml_Document(Xml_Document&&) noexcept = default;
Xml_Document& Xml_Document::operator=(Xml_Document&&) noexcept = default;
Xml_Document::~Xml_Document() = default;

Xml_Document Xml_Document::parse(std::string_view xml) {
  Xml_Document d;
  d.impl_->doc = detail::parse_xml(xml, "XML text");
  return d;
}

Xml_Element Xml_Document::root() const { return Xml_Element(xmlDocGetRootElement(impl_->doc)); }

Xml_Document detail::Access::adopt(xmlDocPtr doc) {
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owned(doc, xmlFreeDoc);
  Xml_Document d;
  d.impl_->doc = owned.release();
  return d;
}

}  // namespace travo::docx
