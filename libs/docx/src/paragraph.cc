#include "travo/docx/paragraph.h"

#include <charconv>
#include <cstring>

#include "context.h"
#include "travo/docx/error.h"
#include "xml_util.h"

namespace travo::docx {
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
    if (xmlStrEqual(c->name, detail::xchars("r"))) out.push_back(detail::Access::make<Run>(c, ctx));
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

bool holds_any(std::string_view text, std::span<const std::string_view> texts) {
  for (std::string_view t : texts)
    if (text.find(t) != std::string_view::npos) return true;
  return false;
}

bool holds_any(const xmlChar* text, std::span<const std::string_view> texts) {
  return text && holds_any(std::string_view(detail::chars(text)), texts);
}

// The name as xml() writes it: WordprocessingML with the prefix "w", other
// namespaces with their own prefix.
bool name_holds_any(const xmlNs* ns, const xmlChar* local, std::span<const std::string_view> texts) {
  std::string name;
  if (ns && detail::same(ns->href, ns::kW)) {
    name = "w:";
  } else if (ns && ns->prefix) {
    name = detail::chars(ns->prefix);
    name += ':';
  }
  name += detail::chars(local);
  return holds_any(std::string_view(name), texts);
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
  Run run = detail::Access::make<Run>(xmlAddChild(node_, detail::new_w(node_->doc, "r")), ctx_);
  if (!text.empty()) run.set_text(text);
  return run;
}

std::optional<Alignment> Paragraph::alignment() const {
  xmlNodePtr jc = ppr_child(node_, "jc");
  if (!jc) return std::nullopt;
  auto v = detail::w_attr(jc, "val");
  return v ? alignment_from_jc(*v) : std::nullopt;
}

void Paragraph::set_alignment(std::optional<Alignment> alignment) {
  if (alignment) {
    detail::set_w_attr(ensure_ppr_child(node_, "jc"), "val", to_jc(*alignment));
  } else if (xmlNodePtr ppr = detail::w_child(node_, "pPr")) {
    // No handle ever points at a w:jc, so it can be freed at once.
    detail::remove_w_children(ppr, "jc");
  }
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

std::string Paragraph::xml() const { return detail::element_xml(node_); }

Xml_Document Paragraph::xml_document() const {
  return detail::Access::adopt(detail::copy_to_document(node_));
}

bool Paragraph::xml_contains_any(std::span<const std::string_view> texts) const {
  // Depth-first in document order, never leaving the paragraph.
  const xmlNode* n = node_;
  while (n) {
    switch (n->type) {
      case XML_ELEMENT_NODE:
        if (name_holds_any(n->ns, n->name, texts)) return true;
        for (const xmlAttr* a = n->properties; a; a = a->next) {
          if (name_holds_any(a->ns, a->name, texts)) return true;
          for (const xmlNode* v = a->children; v; v = v->next)
            if (holds_any(v->content, texts)) return true;
        }
        break;
      case XML_PI_NODE:
        if (holds_any(n->name, texts)) return true;
        [[fallthrough]];
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
        if (holds_any(n->content, texts)) return true;
        break;
      default:
        break;
    }
    if (n->type == XML_ELEMENT_NODE && n->children) {
      n = n->children;
      continue;
    }
    while (n != node_ && !n->next) n = n->parent;
    n = n == node_ ? nullptr : n->next;
  }
  return false;
}

}  // namespace travo::docx
