#include "docx/paragraph.h"

#include <charconv>
#include <cstring>

#include "context.h"
#include "docx/error.h"
#include "xml_util.h"

namespace docx {
namespace {

// Elements that wrap runs inside a paragraph and whose runs count as the
// paragraph's text. Tracked deletions (w:del, w:moveFrom) are not here.
bool wraps_runs(const xmlNode* n) {
  static constexpr const char* kWrappers[] = {"hyperlink", "ins",        "moveTo",    "smartTag",
                                              "fldSimple", "sdt",        "sdtContent", "customXml",
                                              "dir",       "bdo"};
  for (const char* w : kWrappers)
    if (xmlStrEqual(n->name, detail::xchars(w))) return true;
  return false;
}

void collect_runs(xmlNodePtr parent, detail::Context* ctx, std::vector<Run>& out) {
  for (xmlNodePtr c = parent->children; c; c = c->next) {
    if (!detail::in_w(c)) continue;
    if (xmlStrEqual(c->name, detail::xchars("r"))) out.emplace_back(c, ctx);
    else if (wraps_runs(c)) collect_runs(c, ctx, out);
  }
}

xmlNodePtr ppr_child(xmlNodePtr p, const char* local) {
  xmlNodePtr ppr = detail::w_child(p, "pPr");
  return ppr ? detail::w_child(ppr, local) : nullptr;
}

xmlNodePtr ensure_ppr_child(xmlNodePtr p, const char* local) {
  xmlNodePtr ppr = detail::get_or_add(p, "pPr", detail::kPOrder);
  return detail::get_or_add(ppr, local, detail::kPPrOrder);
}

// Rewrites the "w" prefix into a serialised copy when a writer used another
// prefix (or a default namespace) for WordprocessingML.
void use_w_prefix(xmlNodePtr n) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    for (xmlNsPtr d = n->nsDef; d; d = d->next) {
      if (!xmlStrEqual(d->href, detail::xchars(ns::kW))) continue;
      if (d->prefix && xmlStrEqual(d->prefix, detail::xchars("w"))) continue;
      bool w_taken = false;
      for (xmlNsPtr o = n->nsDef; o; o = o->next)
        w_taken = w_taken || (o->prefix && xmlStrEqual(o->prefix, detail::xchars("w")));
      if (w_taken) continue;
      if (d->prefix) xmlFree(const_cast<xmlChar*>(d->prefix));
      d->prefix = xmlStrdup(detail::xchars("w"));
    }
    use_w_prefix(n->children);
  }
}

}  // namespace

std::vector<Run> Paragraph::runs() const {
  std::vector<Run> out;
  collect_runs(node_, ctx_, out);
  return out;
}

std::string Paragraph::text() const {
  std::string out;
  for (const Run& r : runs()) out += r.text();
  return out;
}

void Paragraph::set_text(std::string_view text) {
  detail::check_text(text, "paragraph text");
  clear();
  add_run(text);
}

void Paragraph::clear() {
  for (xmlNodePtr c = node_->children; c;) {
    xmlNodePtr next = c->next;
    if (!detail::is_w(c, "pPr")) ctx_->discard(c);
    c = next;
  }
}

Run Paragraph::add_run(std::string_view text) {
  detail::check_text(text, "run text");
  Run run(xmlAddChild(node_, detail::new_w(node_->doc, "r")), ctx_);
  if (!text.empty()) run.set_text(text);
  return run;
}

std::optional<Alignment> Paragraph::alignment() const {
  xmlNodePtr jc = ppr_child(node_, "jc");
  if (!jc) return std::nullopt;
  auto v = detail::w_attr(jc, "val");
  return v ? alignment_from_jc(*v) : std::nullopt;
}

void Paragraph::set_alignment(Alignment alignment) {
  detail::set_w_attr(ensure_ppr_child(node_, "jc"), "val", to_jc(alignment));
}

std::optional<Length> Paragraph::left_indent() const {
  xmlNodePtr ind = ppr_child(node_, "ind");
  if (!ind) return std::nullopt;
  auto v = detail::int_value(detail::w_attr(ind, "left"));
  if (!v) v = detail::int_value(detail::w_attr(ind, "start"));
  return v ? std::optional<Length>(Twips(*v)) : std::nullopt;
}

void Paragraph::set_left_indent(Length indent) {
  xmlNodePtr ind = ensure_ppr_child(node_, "ind");
  // w:start is the newer name of w:left; keep one so that they cannot disagree.
  detail::remove_w_attr(ind, "start");
  detail::set_w_attr(ind, "left", std::to_string(indent.twips()));
}

std::optional<Length> Paragraph::exact_line_spacing() const {
  xmlNodePtr spacing = ppr_child(node_, "spacing");
  if (!spacing || detail::w_attr(spacing, "lineRule").value_or("") != "exact") return std::nullopt;
  auto v = detail::int_value(detail::w_attr(spacing, "line"));
  return v ? std::optional<Length>(Twips(*v)) : std::nullopt;
}

void Paragraph::set_exact_line_spacing(Length spacing) {
  if (spacing.twips() <= 0) throw Error("exact line spacing must be positive");
  xmlNodePtr s = ensure_ppr_child(node_, "spacing");
  detail::set_w_attr(s, "line", std::to_string(spacing.twips()));
  detail::set_w_attr(s, "lineRule", "exact");
}

std::string Paragraph::xml() const {
  xmlDocPtr tmp = xmlNewDoc(detail::xchars("1.0"));
  // Copying into a document of its own declares every namespace the copy
  // uses on its root, so the text parses on its own.
  xmlNodePtr copy = xmlDocCopyNode(node_, tmp, 1);
  if (!copy) {
    xmlFreeDoc(tmp);
    throw Error("out of memory while serialising a paragraph");
  }
  xmlDocSetRootElement(tmp, copy);
  use_w_prefix(copy);
  xmlBufferPtr buf = xmlBufferCreate();
  xmlNodeDump(buf, tmp, copy, 0, 0);
  std::string out(detail::chars(xmlBufferContent(buf)), static_cast<size_t>(xmlBufferLength(buf)));
  xmlBufferFree(buf);
  xmlFreeDoc(tmp);
  return out;
}

}  // namespace docx
