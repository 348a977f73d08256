// A tolerant HTML document over libxml2's HTML parser.
//
// Parsing never fails on real-world markup (unclosed, misnested or
// upper-case tags, unquoted attributes, entities) and never touches the
// network. Tag and attribute names are compared in lower case, attribute
// values exactly. Input is UTF-8.
//
// Nodes are light handles into their Document and are valid while it lives.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace travo::html {

class Document;

// A selector this implementation does not support, or one that is malformed.
class Selector_Error : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class Node {
 public:
  // The tag name in lower case ("" for non-element nodes).
  std::string name() const;
  bool is_element() const;
  bool is_text() const;
  // The attribute value, or nullopt when absent.
  std::optional<std::string> attr(std::string_view name) const;
  bool has_class(std::string_view cls) const;
  // All text below this node, concatenated, character references decoded.
  std::string text() const;
  // The child nodes written back as HTML markup (a <br> element writes as
  // "<br>").
  std::string inner_html() const;
  std::vector<Node> children() const;
  // Elements below this node matching a CSS selector, in document order.
  // Supported: type (td), class (.a, td.a.b), id (#x), universal (*),
  // attribute presence/equality ([name], [type="hidden"]), selector lists
  // (a, b), descendant (a b) and child (a > b) combinators. Anything else
  // throws Selector_Error.
  std::vector<Node> select(std::string_view selector) const;
  std::optional<Node> select_first(std::string_view selector) const;
  // Elements below this node with the tag `name`, in document order.
  std::vector<Node> find_all(std::string_view name) const;

  explicit Node(void* raw) : raw_(raw) {}
  void* raw() const { return raw_; }

 private:
  void* raw_;  // xmlNodePtr
};

class Document {
 public:
  static Document parse(std::string_view html);
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  Node root() const;  // the document node
  std::vector<Node> select(std::string_view selector) const { return root().select(selector); }
  std::optional<Node> select_first(std::string_view s) const { return root().select_first(s); }
  std::vector<Node> find_all(std::string_view name) const { return root().find_all(name); }

  // The whole document as indented markup: one tag or text node per line,
  // nested content indented by one space per level.
  std::string prettify() const;

 private:
  Document() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// `s` without leading and trailing white space as Unicode defines it
// (including U+00A0 no-break space and U+3000 ideographic space).
std::string trim(std::string_view s);

}  // namespace travo::html
