#include "travo/html/document.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>  // htmlNewDocNoDtD
#include <libxml/parser.h>

#include <climits>
#include <new>

#include "dom.h"
#include "travo/libxml/init.h"
#include "selector.h"

namespace travo::html {

using detail::as_node;

namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_COMPACT |
                              // No made-up HTML 4.0 doctype when the page has none.
                              HTML_PARSE_NODEFDTD;

}  // namespace

// ---------------------------------------------------------------- Node

std::string Node::name() const {
  xmlNodePtr n = as_node(raw_);
  if (!detail::is_element(n) || n->name == nullptr) return {};
  return detail::ascii_lower(detail::view(n->name));
}

bool Node::is_element() const { return detail::is_element(as_node(raw_)); }

bool Node::is_text() const {
  xmlNodePtr n = as_node(raw_);
  return n != nullptr && (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE);
}

bool Node::is_comment() const {
  xmlNodePtr n = as_node(raw_);
  return n != nullptr && n->type == XML_COMMENT_NODE;
}

std::optional<std::string> Node::attr(std::string_view name) const {
  xmlAttrPtr a = detail::find_attr(as_node(raw_), name);
  if (a == nullptr) return std::nullopt;
  std::string scratch;
  std::string_view v = detail::attr_value(a, scratch);
  return std::string(v);
}

bool Node::has_class(std::string_view cls) const {
  xmlAttrPtr a = detail::find_attr(as_node(raw_), "class");
  if (a == nullptr) return false;
  std::string scratch;
  return detail::token_list_contains(detail::attr_value(a, scratch), cls);
}

std::string Node::text() const {
  xmlNodePtr n = as_node(raw_);
  std::string out;
  if (n == nullptr) return out;
  if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
    out = detail::view(n->content);
    return out;
  }
  detail::for_each_descendant(n, [&](xmlNodePtr d) {
    if (d->type == XML_TEXT_NODE || d->type == XML_CDATA_SECTION_NODE) out += detail::view(d->content);
    return true;
  });
  return out;
}

std::string Node::inner_html() const {
  std::string out;
  detail::append_children_html(as_node(raw_), out);
  return out;
}

std::string Node::outer_html() const {
  std::string out;
  detail::append_node_html(as_node(raw_), out);
  return out;
}

std::vector<Node> Node::children() const {
  std::vector<Node> out;
  xmlNodePtr n = as_node(raw_);
  if (n == nullptr || !detail::has_tree_children(n)) return out;
  for (xmlNodePtr c = n->children; c != nullptr; c = c->next) out.emplace_back(c);
  return out;
}

std::optional<Node> Node::parent() const {
  xmlNodePtr n = as_node(raw_);
  if (n == nullptr || n->parent == nullptr) return std::nullopt;
  return Node(n->parent);
}

std::vector<Node> Node::select(std::string_view selector) const {
  const detail::Selector sel = detail::parse_selector(selector);
  std::vector<Node> out;
  detail::for_each_descendant(as_node(raw_), [&](xmlNodePtr d) {
    if (detail::matches(sel, d)) out.emplace_back(d);
    return true;
  });
  return out;
}

std::optional<Node> Node::select_first(std::string_view selector) const {
  const detail::Selector sel = detail::parse_selector(selector);
  std::optional<Node> out;
  detail::for_each_descendant(as_node(raw_), [&](xmlNodePtr d) {
    if (!detail::matches(sel, d)) return true;
    out.emplace(d);
    return false;
  });
  return out;
}

std::vector<Node> Node::find_all(std::string_view name) const {
  std::vector<Node> out;
  if (name.empty()) return out;
  detail::for_each_descendant(as_node(raw_), [&](xmlNodePtr d) {
    if (detail::is_element(d) && detail::equals_ci(d->name, name)) out.emplace_back(d);
    return true;
  });
  return out;
}

// ---------------------------------------------------------------- Document

struct Document::Impl {
  xmlDocPtr doc = nullptr;
  ~Impl() {
    if (doc != nullptr) xmlFreeDoc(doc);
  }
};

Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document Document::parse(std::string_view html) {
  libxml::init();
  Document d;
  d.impl_ = std::make_unique<Impl>();
  // htmlReadMemory takes an int size; no real page comes near 2 GiB.
  const int size = html.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(html.size());
  if (size > 0) {
    d.impl_->doc = htmlReadMemory(html.data(), size, nullptr, "UTF-8", kParseOptions);
  }
  if (d.impl_->doc == nullptr) {
    // Empty or unparseable input: an empty document, never a null one.
    d.impl_->doc = htmlNewDocNoDtD(nullptr, nullptr);
    if (d.impl_->doc == nullptr) throw std::bad_alloc();
  }
  return d;
}

Node Document::root() const { return Node(impl_ ? static_cast<void*>(impl_->doc) : nullptr); }

std::string Document::prettify() const {
  std::string out;
  if (impl_ && impl_->doc != nullptr) detail::append_pretty(as_node(impl_->doc), out);
  return out;
}

std::string Node::prettify() const {
  std::string out;
  detail::append_pretty_node(as_node(raw_), out);
  return out;
}

}  // namespace travo::html
