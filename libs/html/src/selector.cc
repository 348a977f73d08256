#include "selector.h"

#include <cstddef>
#include <string>

#include "dom.h"
#include "travo/html/document.h"

namespace travo::html::detail {
namespace {

bool is_name_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c >= 0x80;
}

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void append_utf8(std::string& out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Selector parse() {
    Selector sel;
    skip_ws();
    if (eof()) fail("the selector is empty");
    for (;;) {
      sel.alternatives.push_back(parse_complex());
      skip_ws();
      if (eof()) break;
      if (peek() != ',') unexpected();
      ++pos_;
      skip_ws();
      if (eof() || peek() == ',') fail("expected a selector after ','");
    }
    return sel;
  }

 private:
  bool eof() const { return pos_ >= s_.size(); }
  char peek() const { return s_[pos_]; }

  bool skip_ws() {
    std::size_t start = pos_;
    while (!eof() && is_ascii_space(peek())) ++pos_;
    return pos_ != start;
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw Selector_Error("CSS selector \"" + std::string(s_) + "\": " + what + " (at offset " +
                         std::to_string(pos_) + ")");
  }

  [[noreturn]] void unsupported(const std::string& what) const {
    fail(what + " not supported; supported are type, *, .class, #id, [attr], [attr=value], "
                "descendant ' ', child '>' and ','");
  }

  // Reports the character at pos_ that cannot start or continue a selector.
  [[noreturn]] void unexpected() const {
    if (eof()) fail("unexpected end of selector");
    char c = peek();
    switch (c) {
      case ':': {
        std::size_t end = pos_ + 1;
        if (end < s_.size() && s_[end] == ':') ++end;
        while (end < s_.size() && is_name_char(static_cast<unsigned char>(s_[end]))) ++end;
        unsupported("pseudo-class/element '" + std::string(s_.substr(pos_, end - pos_)) + "' is");
      }
      case '+': unsupported("the adjacent sibling combinator '+' is");
      case '~': unsupported("the general sibling combinator '~' is");
      case '|': unsupported("namespace prefixes ('|') are");
      case '>': fail("a combinator '>' must stand between two selectors");
      case ',': fail("expected a selector before ','");
      case ']': fail("unbalanced ']'");
      default: break;
    }
    fail(std::string("unexpected character '") + c + "'");
  }

  // A CSS identifier-ish name: letters, digits, '-', '_', non-ASCII and
  // backslash escapes. `what` names it in error messages.
  std::string parse_name(const char* what) {
    std::string out;
    while (!eof()) {
      unsigned char c = static_cast<unsigned char>(peek());
      if (is_name_char(c)) {
        out += static_cast<char>(c);
        ++pos_;
      } else if (c == '\\') {
        parse_escape(out);
      } else {
        break;
      }
    }
    if (out.empty()) fail(std::string("expected ") + what);
    return out;
  }

  void parse_escape(std::string& out) {
    ++pos_;  // backslash
    if (eof()) fail("unfinished escape at the end");
    if (is_hex(peek())) {
      unsigned long cp = 0;
      int digits = 0;
      while (!eof() && digits < 6 && is_hex(peek())) {
        char h = peek();
        cp = cp * 16 + static_cast<unsigned long>(h <= '9' ? h - '0' : (ascii_lower(h) - 'a' + 10));
        ++pos_;
        ++digits;
      }
      if (!eof() && is_ascii_space(peek())) {
        if (peek() == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
      }
      append_utf8(out, cp);
    } else if (peek() == '\n' || peek() == '\r' || peek() == '\f') {
      fail("an escaped newline is not allowed here");
    } else {
      out += peek();
      ++pos_;
    }
  }

  std::string parse_string() {
    char quote = peek();
    ++pos_;
    std::string out;
    for (;;) {
      if (eof()) fail("unterminated string");
      char c = peek();
      if (c == quote) {
        ++pos_;
        return out;
      }
      if (c == '\\') {
        if (pos_ + 1 < s_.size() && (s_[pos_ + 1] == '\n' || s_[pos_ + 1] == '\f')) {
          pos_ += 2;  // line continuation
          continue;
        }
        parse_escape(out);
        continue;
      }
      if (c == '\n') fail("newline in string");
      out += c;
      ++pos_;
    }
  }

  Attr_Test parse_attrib() {
    ++pos_;  // '['
    skip_ws();
    if (!eof() && peek() == '|') unexpected();
    Attr_Test t;
    t.name = ascii_lower(parse_name("an attribute name after '['"));
    skip_ws();
    if (eof()) fail("unterminated attribute selector");
    char c = peek();
    if (c == ']') {
      ++pos_;
      return t;
    }
    if (c == '|' && !(pos_ + 1 < s_.size() && s_[pos_ + 1] == '=')) unexpected();
    if (c == '~' || c == '|' || c == '^' || c == '$' || c == '*' || c == '!') {
      if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '=') {
        unsupported(std::string("the attribute operator '") + c + "=' is");
      }
      fail(std::string("unexpected character '") + c + "' in attribute selector");
    }
    if (c != '=') fail(std::string("unexpected character '") + c + "' in attribute selector");
    ++pos_;
    skip_ws();
    if (eof()) fail("expected a value after '='");
    t.has_value = true;
    if (peek() == '"' || peek() == '\'') {
      t.value = parse_string();
    } else {
      t.value = parse_name("a value after '='");
    }
    skip_ws();
    if (eof()) fail("unterminated attribute selector");
    if (peek() != ']') {
      if (is_name_char(static_cast<unsigned char>(peek()))) {
        unsupported("attribute selector flags (like ' i]') are");
      }
      fail(std::string("unexpected character '") + peek() + "' in attribute selector");
    }
    ++pos_;
    return t;
  }

  Compound parse_compound() {
    Compound c;
    std::size_t start = pos_;
    if (!eof() && peek() == '*') {
      ++pos_;
      if (!eof() && peek() == '|') unexpected();
    } else if (!eof() && (is_name_char(static_cast<unsigned char>(peek())) || peek() == '\\')) {
      c.tag = ascii_lower(parse_name("a type name"));
      if (!eof() && peek() == '|') unexpected();
    }
    while (!eof()) {
      char ch = peek();
      if (ch == '.') {
        ++pos_;
        c.classes.push_back(parse_name("a class name after '.'"));
      } else if (ch == '#') {
        ++pos_;
        c.ids.push_back(parse_name("an id after '#'"));
      } else if (ch == '[') {
        c.attrs.push_back(parse_attrib());
      } else if (ch == ':' || ch == '|') {
        unexpected();
      } else {
        break;
      }
    }
    if (pos_ == start) unexpected();
    if (!eof() && !is_ascii_space(peek()) && peek() != ',' && peek() != '>') unexpected();
    return c;
  }

  Complex parse_complex() {
    Complex cx;
    cx.compounds.push_back(parse_compound());
    for (;;) {
      bool ws = skip_ws();
      if (eof() || peek() == ',') break;
      Combinator comb = Combinator::descendant;
      if (peek() == '>') {
        ++pos_;
        skip_ws();
        comb = Combinator::child;
        if (eof() || peek() == ',') fail("expected a selector after '>'");
        if (peek() == '>') fail("two combinators in a row");
      } else if (peek() == '+' || peek() == '~') {
        unexpected();
      } else if (!ws) {
        unexpected();
      }
      cx.combinators.push_back(comb);
      cx.compounds.push_back(parse_compound());
    }
    return cx;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

bool compound_matches(const Compound& c, xmlNodePtr el) {
  if (!c.tag.empty() && !equals_ci(el->name, c.tag)) return false;
  if (c.ids.empty() && c.classes.empty() && c.attrs.empty()) return true;
  std::string scratch;  // only used for unusual attribute storage
  for (const std::string& id : c.ids) {
    xmlAttrPtr a = find_attr(el, "id");
    if (a == nullptr || attr_value(a, scratch) != id) return false;
  }
  if (!c.classes.empty()) {
    xmlAttrPtr a = find_attr(el, "class");
    if (a == nullptr) return false;
    std::string_view list = attr_value(a, scratch);
    for (const std::string& cls : c.classes) {
      if (!token_list_contains(list, cls)) return false;
    }
  }
  for (const Attr_Test& t : c.attrs) {
    xmlAttrPtr a = find_attr(el, t.name);
    if (a == nullptr) return false;
    if (t.has_value && attr_value(a, scratch) != t.value) return false;
  }
  return true;
}

// compounds[i] is known to match `el`; checks compounds[0..i) against its
// ancestors.
bool match_left(const Complex& cx, std::size_t i, xmlNodePtr el) {
  while (i > 0) {
    const Compound& left = cx.compounds[i - 1];
    if (cx.combinators[i - 1] == Combinator::child) {
      xmlNodePtr p = el->parent;
      if (!is_element(p) || !compound_matches(left, p)) return false;
      el = p;
      --i;
      continue;
    }
    // Descendant: try ancestors nearest first. When the combinator further
    // left is also a descendant one, the nearest matching ancestor is the
    // best candidate (every ancestor of a farther one is an ancestor of it
    // too), so a failure there is final; a child combinator needs
    // backtracking.
    const bool greedy = i < 2 || cx.combinators[i - 2] == Combinator::descendant;
    for (xmlNodePtr p = el->parent; is_element(p); p = p->parent) {
      if (!compound_matches(left, p)) continue;
      if (match_left(cx, i - 1, p)) return true;
      if (greedy) return false;
    }
    return false;
  }
  return true;
}

}  // namespace

Selector parse_selector(std::string_view text) { return Parser(text).parse(); }

bool matches(const Selector& sel, xmlNodePtr el) {
  if (!is_element(el)) return false;
  for (const Complex& cx : sel.alternatives) {
    const std::size_t last = cx.compounds.size() - 1;
    if (compound_matches(cx.compounds[last], el) && match_left(cx, last, el)) return true;
  }
  return false;
}

}  // namespace travo::html::detail
