#include "xml_util.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstring>

#include "travo/docx/error.h"
#include "travo/libxml/init.h"

namespace travo::docx::detail {
namespace {

// A DTD is where entity expansion attacks live, and no Office part carries
// one, so it is refused before libxml2 sees it. (UTF-16 input escapes this
// byte scan; the parsed tree is checked for a DTD as well.)
bool has_doctype(std::string_view s) {
  size_t i = 0;
  if (s.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < s.size()) {
    char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (s.compare(i, 2, "<?") == 0) {
      size_t end = s.find("?>", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + 2;
    } else if (s.compare(i, 4, "<!--") == 0) {
      size_t end = s.find("-->", i + 4);
      if (end == std::string_view::npos) return false;
      i = end + 3;
    } else {
      return s.compare(i, 9, "<!DOCTYPE") == 0;
    }
  }
  return false;
}

void ignore_message(void*, const char*, ...) {}

// libxml2 reports some faults (encoding conversion, I/O) through its
// thread's generic error handler, which prints to stderr. Our callers get
// an Error instead, so the handler is silenced while we parse or save, and
// restored afterwards for the other users of libxml2 in the process.
class Quiet_Libxml {
 public:
  Quiet_Libxml() : func_(xmlGenericError), context_(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, ignore_message);
  }
  ~Quiet_Libxml() { xmlSetGenericErrorFunc(context_, func_); }
  Quiet_Libxml(const Quiet_Libxml&) = delete;
  Quiet_Libxml& operator=(const Quiet_Libxml&) = delete;

 private:
  xmlGenericErrorFunc func_;
  void* context_;
};

constexpr const char* kPPr[] = {
    "pStyle", "keepNext", "keepLines", "pageBreakBefore", "framePr", "widowControl", "numPr",
    "suppressLineNumbers", "pBdr", "shd", "tabs", "suppressAutoHyphens", "kinsoku", "wordWrap",
    "overflowPunct", "topLinePunct", "autoSpaceDE", "autoSpaceDN", "bidi", "adjustRightInd",
    "snapToGrid", "spacing", "ind", "contextualSpacing", "mirrorIndents", "suppressOverlap", "jc",
    "textDirection", "textAlignment", "textboxTightWrap", "outlineLvl", "divId", "cnfStyle", "rPr",
    "sectPr", "pPrChange"};
constexpr const char* kRPr[] = {
    "rStyle", "rFonts", "b", "bCs", "i", "iCs", "caps", "smallCaps", "strike", "dstrike", "outline",
    "shadow", "emboss", "imprint", "noProof", "snapToGrid", "vanish", "webHidden", "color",
    "spacing", "w", "kern", "position", "sz", "szCs", "highlight", "u", "effect", "bdr", "shd",
    "fitText", "vertAlign", "rtl", "cs", "em", "lang", "eastAsianLayout", "specVanish", "oMath",
    "rPrChange"};
constexpr const char* kTcPr[] = {
    "cnfStyle", "tcW", "gridSpan", "hMerge", "vMerge", "tcBorders", "shd", "noWrap", "tcMar",
    "textDirection", "tcFitText", "vAlign", "hideMark", "headers", "cellIns", "cellDel",
    "cellMerge", "tcPrChange"};
constexpr const char* kTrPr[] = {
    "cnfStyle", "divId", "gridBefore", "gridAfter", "wBefore", "wAfter", "cantSplit", "trHeight",
    "tblHeader", "tblCellSpacing", "jc", "hidden", "ins", "del", "trPrChange"};
constexpr const char* kTblPr[] = {
    "tblStyle", "tblpPr", "tblOverlap", "bidiVisual", "tblStyleRowBandSize",
    "tblStyleColBandSize", "tblW", "jc", "tblCellSpacing", "tblInd", "tblBorders", "shd",
    "tblLayout", "tblCellMar", "tblLook", "tblCaption", "tblDescription", "tblPrChange"};
// For the container elements only the leading property elements matter:
// everything else is content and comes after them.
constexpr const char* kP[] = {"pPr", "*"};
constexpr const char* kR[] = {"rPr", "*"};
constexpr const char* kTc[] = {"tcPr", "*"};
constexpr const char* kTr[] = {"tblPrEx", "trPr", "*"};
constexpr const char* kTbl[] = {"tblPr", "tblGrid", "*"};

int order_index(std::span<const char* const> order, const xmlChar* name) {
  int wildcard = -1;
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i][0] == '*') wildcard = static_cast<int>(i);
    else if (same(name, order[i])) return static_cast<int>(i);
  }
  return wildcard;
}

xmlNsPtr w_ns_for_attributes(xmlNodePtr n) {
  if (n->ns && n->ns->prefix && same(n->ns->href, ns::kW)) return n->ns;
  // Attributes cannot use a default namespace; find or make a prefixed one.
  return ensure_ns(n->doc, ns::kW, "w");
}

}  // namespace

const std::span<const char* const> kPPrOrder(kPPr);
const std::span<const char* const> kRPrOrder(kRPr);
const std::span<const char* const> kTcPrOrder(kTcPr);
const std::span<const char* const> kTrPrOrder(kTrPr);
const std::span<const char* const> kTblPrOrder(kTblPr);
const std::span<const char* const> kPOrder(kP);
const std::span<const char* const> kROrder(kR);
const std::span<const char* const> kTcOrder(kTc);
const std::span<const char* const> kTrOrder(kTr);
const std::span<const char* const> kTblOrder(kTbl);

xmlDocPtr parse_xml(std::string_view bytes, std::string_view what) {
  libxml::init();
  if (bytes.size() > static_cast<size_t>(INT_MAX))
    throw Error(std::string(what) + " is too large to parse");
  if (has_doctype(bytes))
    throw Error(std::string(what) + " declares a document type (DTD), which is not allowed");
  Quiet_Libxml quiet;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) throw Error("out of memory while parsing " + std::string(what));
  // No XML_PARSE_NOENT / DTDLOAD / HUGE: entities stay unexpanded, nothing
  // external is loaded and libxml2's size limits stay on.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                    nullptr, options);
  if (!doc || !ctxt->wellFormed || !ctxt->nsWellFormed) {
    std::string msg = "malformed XML in " + std::string(what);
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    if (err && err->message) {
      std::string text = err->message;
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
      msg += " (line " + std::to_string(err->line) + "): " + text;
    }
    if (doc) xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    throw Error(msg);
  }
  xmlFreeParserCtxt(ctxt);
  if (doc->intSubset || doc->extSubset) {
    xmlFreeDoc(doc);
    throw Error(std::string(what) + " declares a document type (DTD), which is not allowed");
  }
  if (!xmlDocGetRootElement(doc)) {
    xmlFreeDoc(doc);
    throw Error("malformed XML in " + std::string(what) + ": no root element");
  }
  return doc;
}

namespace {

struct Save_Sink {
  const std::function<bool(std::string_view)>* sink;
};

int write_to_sink(void* context, const char* buffer, int len) {
  const auto& sink = *static_cast<Save_Sink*>(context)->sink;
  // No exception may cross libxml2's C frames: the sink reports by value.
  return sink(std::string_view(buffer, static_cast<size_t>(len))) ? len : -1;
}

}  // namespace

bool serialize_xml(xmlDocPtr doc, const std::function<bool(std::string_view)>& sink) {
  // Declaring UTF-8 on the document (rather than asking the writer for an
  // encoding) takes libxml2's direct path: no encoder, characters as they are.
  if (!doc->encoding || !xmlStrEqual(doc->encoding, xchars("UTF-8"))) {
    if (doc->encoding) xmlFree(const_cast<xmlChar*>(doc->encoding));
    doc->encoding = xmlStrdup(xchars("UTF-8"));
  }
  Quiet_Libxml quiet;
  Save_Sink context{&sink};
  xmlSaveCtxtPtr save = xmlSaveToIO(write_to_sink, nullptr, &context, nullptr, 0);
  if (!save) return false;
  long written = xmlSaveDoc(save, doc);
  // Closing flushes the last chunk, which can fail too.
  return xmlSaveClose(save) >= 0 && written >= 0;
}

std::string serialize_xml(xmlDocPtr doc) {
  std::string out;
  if (!serialize_xml(doc, [&out](std::string_view chunk) {
        out.append(chunk);
        return true;
      }))
    throw Error("could not serialise an XML part");
  return out;
}

xmlNodePtr w_child(const xmlNode* parent, const char* local) {
  for (xmlNodePtr c = parent->children; c; c = c->next)
    if (is_w(c, local)) return c;
  return nullptr;
}

std::vector<xmlNodePtr> w_children(const xmlNode* parent, const char* local) {
  std::vector<xmlNodePtr> out;
  for (xmlNodePtr c = parent->children; c; c = c->next)
    if (is_w(c, local)) out.push_back(c);
  return out;
}

xmlNodePtr prev_w(const xmlNode* n, const char* local) {
  for (xmlNodePtr c = n->prev; c; c = c->prev)
    if (is_w(c, local)) return c;
  return nullptr;
}

xmlNodePtr next_w(const xmlNode* n, const char* local) {
  for (xmlNodePtr c = n->next; c; c = c->next)
    if (is_w(c, local)) return c;
  return nullptr;
}

std::optional<std::string> w_attr(const xmlNode* n, const char* local) {
  xmlChar* v = xmlGetNsProp(n, xchars(local), xchars(ns::kW));
  if (!v) return std::nullopt;
  std::string out(chars(v));
  xmlFree(v);
  return out;
}

void set_w_attr(xmlNodePtr n, const char* local, std::string_view value) {
  std::string v(value);
  xmlSetNsProp(n, w_ns_for_attributes(n), xchars(local), xchars(v.c_str()));
}

void remove_w_attr(xmlNodePtr n, const char* local) {
  if (xmlAttrPtr a = xmlHasNsProp(n, xchars(local), xchars(ns::kW))) xmlRemoveProp(a);
}

std::optional<std::string> plain_attr(const xmlNode* n, const char* name) {
  xmlChar* v = xmlGetNoNsProp(n, xchars(name));
  if (!v) return std::nullopt;
  std::string out(chars(v));
  xmlFree(v);
  return out;
}

std::string content(const xmlNode* n) {
  xmlChar* v = xmlNodeGetContent(n);
  if (!v) return {};
  std::string out(chars(v));
  xmlFree(v);
  return out;
}

namespace {

// Rewrites the "w" prefix into a copy when a writer used another prefix (or
// a default namespace) for WordprocessingML.
void use_w_prefix(xmlNodePtr n) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    for (xmlNsPtr d = n->nsDef; d; d = d->next) {
      if (!xmlStrEqual(d->href, xchars(ns::kW))) continue;
      if (d->prefix && xmlStrEqual(d->prefix, xchars("w"))) continue;
      bool w_taken = false;
      for (xmlNsPtr o = n->nsDef; o; o = o->next)
        w_taken = w_taken || (o->prefix && xmlStrEqual(o->prefix, xchars("w")));
      if (w_taken) continue;
      if (d->prefix) xmlFree(const_cast<xmlChar*>(d->prefix));
      d->prefix = xmlStrdup(xchars("w"));
    }
    use_w_prefix(n->children);
  }
}

}  // namespace

xmlDocPtr copy_to_document(const xmlNode* n) {
  xmlDocPtr doc = xmlNewDoc(xchars("1.0"));
  // Copying into a document of its own declares every namespace the copy
  // uses on its root, so the copy stands on its own.
  xmlNodePtr copy = doc ? xmlDocCopyNode(const_cast<xmlNode*>(n), doc, 1) : nullptr;
  if (!copy) {
    xmlFreeDoc(doc);
    throw Error("out of memory while copying an element");
  }
  xmlDocSetRootElement(doc, copy);
  use_w_prefix(copy);
  return doc;
}

std::string element_xml(const xmlNode* n) {
  xmlDocPtr doc = copy_to_document(n);
  xmlBufferPtr buf = xmlBufferCreate();
  if (!buf) {
    xmlFreeDoc(doc);
    throw Error("out of memory while serialising an element");
  }
  xmlNodeDump(buf, doc, xmlDocGetRootElement(doc), 0, 0);
  std::string out(chars(xmlBufferContent(buf)), static_cast<size_t>(xmlBufferLength(buf)));
  xmlBufferFree(buf);
  xmlFreeDoc(doc);
  return out;
}

xmlNsPtr ensure_ns(xmlDocPtr doc, const char* href, const char* prefix) {
  xmlNodePtr root = xmlDocGetRootElement(doc);
  for (xmlNsPtr n = root->nsDef; n; n = n->next)
    if (n->prefix && same(n->href, href)) return n;
  std::string p = prefix;
  for (int i = 1; xmlSearchNs(doc, root, xchars(p.c_str())); ++i) p = prefix + std::to_string(i);
  return xmlNewNs(root, xchars(href), xchars(p.c_str()));
}

xmlNodePtr new_w(xmlDocPtr doc, const char* local) {
  return xmlNewDocNode(doc, ensure_ns(doc, ns::kW, "w"), xchars(local), nullptr);
}

void add_text(xmlNodePtr parent, std::string_view text) {
  xmlAddChild(parent, xmlNewDocTextLen(parent->doc, reinterpret_cast<const xmlChar*>(text.data()),
                                       static_cast<int>(text.size())));
}

xmlNodePtr get_or_add(xmlNodePtr parent, const char* local, std::span<const char* const> order) {
  if (xmlNodePtr c = w_child(parent, local)) return c;
  int mine = order_index(order, xchars(local));
  xmlNodePtr child = new_w(parent->doc, local);
  for (xmlNodePtr c = parent->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    // Foreign elements (w14:..., mc:...) count as content after properties.
    int idx = in_w(c) ? order_index(order, c->name) : order_index(order, xchars("*"));
    if (idx > mine) return xmlAddPrevSibling(c, child);
  }
  return xmlAddChild(parent, child);
}

void remove_w_children(xmlNodePtr parent, const char* local) {
  for (xmlNodePtr c = parent->children; c;) {
    xmlNodePtr next = c->next;
    if (is_w(c, local)) {
      xmlUnlinkNode(c);
      xmlFreeNode(c);
    }
    c = next;
  }
}

void check_text(std::string_view text, std::string_view what) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        throw Error(std::string(what) + " holds control character " + std::to_string(c) +
                    ", which a document cannot carry");
      ++i;
      continue;
    }
    int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (len == 0 || c > 0xF4 || i + len > n)
      throw Error(std::string(what) + " is not valid UTF-8");
    uint32_t cp = c & (0xFF >> (len + 1));
    for (int k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) throw Error(std::string(what) + " is not valid UTF-8");
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      throw Error(std::string(what) + " is not valid UTF-8");
    if (cp == 0xFFFE || cp == 0xFFFF)
      throw Error(std::string(what) + " holds a character that XML cannot carry");
    i += static_cast<size_t>(len);
  }
}

std::optional<long> int_value(const std::optional<std::string>& v) {
  if (!v) return std::nullopt;
  long out = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
  if (ec != std::errc() || end != v->data() + v->size()) return std::nullopt;
  return out;
}

}  // namespace travo::docx::detail
