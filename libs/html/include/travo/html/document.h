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
  bool is_text() const;     // text or CDATA
  bool is_comment() const;
  // The attribute value, or nullopt when absent.
  std::optional<std::string> attr(std::string_view name) const;
  bool has_class(std::string_view cls) const;
  // All text below this node, concatenated, character references decoded.
  std::string text() const;
  // The child nodes written back as HTML markup (a <br> element writes as
  // "<br>").
  // Text is escaped ("&" -> "&amp;", "<", ">"), attribute values are written
  // in double quotes with '"' escaped too, void elements have no end tag and
  // script/style content is written as is.
  std::string inner_html() const;
  // This node itself written as markup (for the document node, its children).
  std::string outer_html() const;
  // This node as indented markup, like Document::prettify().
  std::string prettify() const;
  // All child nodes: elements, text, comments, in document order.
  std::vector<Node> children() const;
  // The parent node (an element or the document node), nullopt for the
  // document node itself.
  std::optional<Node> parent() const;
  // Elements below this node matching a CSS selector, in document order.
  // Supported: type (td), class (.a, td.a.b), id (#x), universal (*),
  // attribute presence/equality ([name], [type="hidden"]), selector lists
  // (a, b), descendant (a b) and child (a > b) combinators. Anything else
  // throws Selector_Error. Tag and attribute names match in any case, class,
  // id and attribute values exactly. As with the DOM's querySelectorAll, the
  // whole selector is matched against the document and the matching
  // descendants of this node are returned: in "div a", the div may also be
  // this node or one of its ancestors.
  std::vector<Node> select(std::string_view selector) const;
  std::optional<Node> select_first(std::string_view selector) const;
  // Elements below this node with the tag `name`, in document order.
  std::vector<Node> find_all(std::string_view name) const;

  // A handle on a libxml2 xmlNodePtr. Every member copes with a null one
  // (it behaves like an empty node).
  explicit Node(void* raw) : raw_(raw) {}
  void* raw() const { return raw_; }
  friend bool operator==(const Node& a, const Node& b) { return a.raw_ == b.raw_; }

 private:
  void* raw_;  // xmlNodePtr
};

class Document {
 public:
  // Never fails: empty, binary or truncated input gives a (possibly empty)
  // document. Invalid UTF-8 is tolerated: such bytes stay as they are in
  // text and are read as Latin-1 in attribute values. Nesting deeper than
  // libxml2's limit (256) ends the parse there, keeping what came before.
  // Thread-safe: documents may be parsed and read on any thread (one
  // document must not be moved or destroyed while another thread reads it).
  static Document parse(std::string_view html);
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  Node root() const;  // the document node
  std::vector<Node> select(std::string_view selector) const { return root().select(selector); }
  std::optional<Node> select_first(std::string_view s) const { return root().select_first(s); }
  std::vector<Node> find_all(std::string_view name) const { return root().find_all(name); }

  // The whole document as indented markup: one tag or text node per line,
  // nested content indented by one space per level, like BeautifulSoup's
  // prettify(). Text is trimmed and white-space-only text dropped; void
  // elements (br, input, img, meta, ...) have no end tag; pre and textarea
  // are written on one line with their content unchanged. Every line,
  // including the last, ends with "\n".
  std::string prettify() const;

 private:
  Document() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// `s` without leading and trailing white space as Unicode defines it
// (including U+00A0 no-break space and U+3000 ideographic space).
std::string trim(std::string_view s);

// The first `n` characters (code points) of UTF-8 text `s`; all of it when
// it is shorter.
std::string first_chars(std::string_view s, std::size_t n);

}  // namespace travo::html
