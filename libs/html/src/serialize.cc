// HTML serialization of libxml2 trees, written here rather than with
// htmlNodeDumpFormatOutput so that the output is plain and predictable:
// attribute values are never URI-escaped (libxml2 does that to href/src),
// every attribute is written name="value", "&", "<", ">" are escaped in text
// and, with '"', in attribute values, void elements (br, img, ...) are written
// without an end tag, and script/style content is written raw.
//
// Both walks are iterative, so tree depth costs no stack.
#include <string>
#include <string_view>

#include "dom.h"
#include "travo/html/document.h"

namespace travo::html::detail {
namespace {

bool is_void_element(const xmlChar* name) {
  static constexpr const char* kVoid[] = {"area",  "base",   "basefont", "bgsound", "br",
                                          "col",   "embed",  "frame",    "hr",      "img",
                                          "input", "keygen", "link",     "meta",    "param",
                                          "source", "track", "wbr"};
  for (const char* v : kVoid) {
    if (equals_ci(name, v)) return true;
  }
  return false;
}

bool is_raw_text_element(xmlNodePtr n) {
  return is_element(n) && (equals_ci(n->name, "script") || equals_ci(n->name, "style"));
}

bool is_preformatted_element(xmlNodePtr n) {
  return is_element(n) && (equals_ci(n->name, "pre") || equals_ci(n->name, "textarea"));
}

void append_escaped(std::string_view s, bool in_attribute, std::string& out) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char* rep = nullptr;
    switch (s[i]) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = in_attribute ? "&quot;" : nullptr; break;
      default: break;
    }
    if (rep == nullptr) continue;
    out.append(s.data() + run, i - run);
    out += rep;
    run = i + 1;
  }
  out.append(s.data() + run, s.size() - run);
}

void append_start_tag(xmlNodePtr el, std::string& out) {
  out += '<';
  out += view(el->name);
  std::string scratch;
  for (xmlAttrPtr a = el->properties; a != nullptr; a = a->next) {
    out += ' ';
    if (a->ns != nullptr && a->ns->prefix != nullptr) {
      out += view(a->ns->prefix);
      out += ':';
    }
    out += view(a->name);
    out += "=\"";
    append_escaped(attr_value(a, scratch), true, out);
    out += '"';
  }
  out += '>';
}

void append_end_tag(xmlNodePtr el, std::string& out) {
  out += "</";
  out += view(el->name);
  out += '>';
}

void append_doctype(xmlNodePtr n, std::string& out) {
  auto* dtd = reinterpret_cast<xmlDtdPtr>(n);
  out += "<!DOCTYPE ";
  out += dtd->name != nullptr ? view(dtd->name) : std::string_view("html");
  if (dtd->ExternalID != nullptr) {
    out += " PUBLIC \"";
    out += view(dtd->ExternalID);
    out += '"';
    if (dtd->SystemID != nullptr) {
      out += " \"";
      out += view(dtd->SystemID);
      out += '"';
    }
  } else if (dtd->SystemID != nullptr) {
    out += " SYSTEM \"";
    out += view(dtd->SystemID);
    out += '"';
  }
  out += '>';
}

// Writes a node that has no markup children of its own (or whose children
// are not walked): text, comment, doctype, ...
void append_leaf(xmlNodePtr n, std::string& out) {
  switch (n->type) {
    case XML_TEXT_NODE:
      if (is_raw_text_element(n->parent)) {
        out += view(n->content);
      } else {
        append_escaped(view(n->content), false, out);
      }
      break;
    case XML_CDATA_SECTION_NODE:
      // The HTML parser stores script and style content this way; HTML has
      // no CDATA sections of its own, so it is written back as it came.
      out += view(n->content);
      break;
    case XML_COMMENT_NODE:
      out += "<!--";
      out += view(n->content);
      out += "-->";
      break;
    case XML_ENTITY_REF_NODE:
      out += '&';
      out += view(n->name);
      out += ';';
      break;
    case XML_PI_NODE:
      out += "<?";
      out += view(n->name);
      if (n->content != nullptr) {
        out += ' ';
        out += view(n->content);
      }
      out += '>';
      break;
    case XML_DTD_NODE:
      append_doctype(n, out);
      break;
    default:
      break;
  }
}

// Writes `n` (any node type); returns true when its children must be walked
// next and its end tag written after them.
bool open_node(xmlNodePtr n, std::string& out) {
  if (n->type != XML_ELEMENT_NODE) {
    append_leaf(n, out);
    return false;
  }
  append_start_tag(n, out);
  if (is_void_element(n->name)) return false;
  if (n->children == nullptr) {
    append_end_tag(n, out);
    return false;
  }
  return true;
}

// Shared iterative walk over the nodes below `parent`. `enter` writes a node
// and returns whether to descend; `leave` writes an element's end.
template <class Enter, class Leave>
void walk_children(xmlNodePtr parent, int depth, Enter&& enter, Leave&& leave) {
  if (parent == nullptr || !has_tree_children(parent)) return;
  xmlNodePtr n = parent->children;
  while (n != nullptr) {
    if (enter(n, depth)) {
      n = n->children;
      ++depth;
      continue;
    }
    while (n->next == nullptr) {
      n = n->parent;
      if (n == parent || n == nullptr) return;
      --depth;
      leave(n, depth);
    }
    n = n->next;
  }
}

// Pretty printing, after BeautifulSoup's prettify().

void indent(int level, std::string& out) { out.append(static_cast<std::size_t>(level), ' '); }

bool pretty_enter(xmlNodePtr n, int level, std::string& out) {
  switch (n->type) {
    case XML_ELEMENT_NODE:
      indent(level, out);
      if (is_preformatted_element(n)) {
        // White space is content here: the element goes on one line as is.
        append_node_html(n, out);
        out += '\n';
        return false;
      }
      append_start_tag(n, out);
      out += '\n';
      if (is_void_element(n->name)) return false;
      if (n->children == nullptr) {
        indent(level, out);
        append_end_tag(n, out);
        out += '\n';
        return false;
      }
      return true;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE: {
      std::string t = trim(view(n->content));
      if (t.empty()) return false;
      indent(level, out);
      if (n->type == XML_TEXT_NODE && !is_raw_text_element(n->parent)) {
        append_escaped(t, false, out);
      } else {
        out += t;
      }
      out += '\n';
      return false;
    }
    case XML_COMMENT_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_DTD_NODE:
      indent(level, out);
      append_leaf(n, out);
      out += '\n';
      return false;
    default:
      return false;
  }
}

}  // namespace

void append_node_html(xmlNodePtr node, std::string& out) {
  if (node == nullptr) return;
  if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE ||
      node->type == XML_DOCUMENT_FRAG_NODE) {
    append_children_html(node, out);
    return;
  }
  if (!open_node(node, out)) return;
  append_children_html(node, out);
  append_end_tag(node, out);
}

void append_children_html(xmlNodePtr parent, std::string& out) {
  walk_children(
      parent, 0, [&](xmlNodePtr n, int) { return open_node(n, out); },
      [&](xmlNodePtr n, int) { append_end_tag(n, out); });
}

namespace {

void pretty_leave(xmlNodePtr n, int level, std::string& out) {
  indent(level, out);
  append_end_tag(n, out);
  out += '\n';
}

void append_pretty_children(xmlNodePtr parent, int level, std::string& out) {
  walk_children(
      parent, level, [&](xmlNodePtr n, int l) { return pretty_enter(n, l, out); },
      [&](xmlNodePtr n, int l) { pretty_leave(n, l, out); });
}

}  // namespace

void append_pretty(xmlNodePtr parent, std::string& out) { append_pretty_children(parent, 0, out); }

void append_pretty_node(xmlNodePtr node, std::string& out) {
  if (node == nullptr) return;
  if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE ||
      node->type == XML_DOCUMENT_FRAG_NODE) {
    append_pretty_children(node, 0, out);
    return;
  }
  if (!pretty_enter(node, 0, out)) return;
  append_pretty_children(node, 1, out);
  pretty_leave(node, 0, out);
}

}  // namespace travo::html::detail
