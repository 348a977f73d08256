// A small CSS selector engine: a recursive-descent parser for the supported
// subset and a right-to-left matcher over libxml2 element nodes.
//
// Grammar (white space is ASCII space, tab, CR, LF, FF):
//   list      := ws* complex ( ws* ',' ws* complex )* ws*
//   complex   := compound ( combinator compound )*
//   combinator:= ws+ | ws* '>' ws*
//   compound  := ( name | '*' )? ( '.' name | '#' name | attrib )*   (non-empty)
//   attrib    := '[' ws* name ws* ( '=' ws* ( name | string ) ws* )? ']'
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace travo::html::detail {

struct Attr_Test {
  std::string name;  // lower case
  bool has_value = false;
  std::string value;  // compared exactly
};

struct Compound {
  std::string tag;  // lower case; empty matches any element
  std::vector<std::string> ids;
  std::vector<std::string> classes;
  std::vector<Attr_Test> attrs;
};

enum class Combinator : std::uint8_t { descendant, child };

struct Complex {
  std::vector<Compound> compounds;       // left to right
  std::vector<Combinator> combinators;   // combinators[i] joins compounds[i] and [i + 1]
};

struct Selector {
  std::vector<Complex> alternatives;
};

// Throws Selector_Error for unsupported or malformed selectors.
Selector parse_selector(std::string_view text);

// `el` (an element) matches one of the alternatives. Ancestors are looked up
// through the whole document, as in the DOM's querySelectorAll.
bool matches(const Selector& sel, xmlNodePtr el);

}  // namespace travo::html::detail
