#include "travo/docx/cell.h"

#include <charconv>

#include "context.h"
#include "travo/docx/error.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

xmlNodePtr tcpr_child(xmlNodePtr tc, const char* local) {
  xmlNodePtr pr = detail::w_child(tc, "tcPr");
  return pr ? detail::w_child(pr, local) : nullptr;
}

xmlNodePtr ensure_tcpr_child(xmlNodePtr tc, const char* local) {
  xmlNodePtr pr = detail::get_or_add(tc, "tcPr", detail::kTcOrder);
  return detail::get_or_add(pr, local, detail::kTcPrOrder);
}

bool is_block(const xmlNode* n) {
  return detail::is_w(n, "p") || detail::is_w(n, "tbl") || detail::is_w(n, "sdt") ||
         detail::is_w(n, "customXml");
}

// A paragraph that shows nothing: no content but properties and runs that
// themselves hold only run properties.
bool is_blank_paragraph(const xmlNode* p) {
  if (!detail::is_w(p, "p")) return false;
  for (xmlNodePtr c = p->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE || detail::is_w(c, "pPr")) continue;
    if (!detail::is_w(c, "r")) return false;
    for (xmlNodePtr rc = c->children; rc; rc = rc->next)
      if (rc->type == XML_ELEMENT_NODE && !detail::is_w(rc, "rPr")) return false;
  }
  return true;
}

std::vector<xmlNodePtr> blocks(const xmlNode* tc) {
  std::vector<xmlNodePtr> out;
  for (xmlNodePtr c = tc->children; c; c = c->next)
    if (is_block(c)) out.push_back(c);
  return out;
}

}  // namespace

std::vector<Paragraph> Cell::paragraphs() const {
  std::vector<Paragraph> out;
  for (xmlNodePtr p : detail::w_children(node_, "p"))
    out.push_back(detail::Access::make<Paragraph>(p, ctx_));
  return out;
}

std::string Cell::text() const {
  std::string out;
  bool first = true;
  for (const Paragraph& p : paragraphs()) {
    if (!first) out += '\n';
    out += p.text();
    first = false;
  }
  return out;
}

void Cell::set_text(std::string_view text) {
  detail::check_text(text, "cell text");
  for (xmlNodePtr c = node_->children; c;) {
    xmlNodePtr next = c->next;
    if (!detail::is_w(c, "tcPr")) ctx_->discard(c);
    c = next;
  }
  add_paragraph().add_run(text);
}

Paragraph Cell::add_paragraph(std::string_view text) {
  detail::check_text(text, "paragraph text");
  Paragraph p =
      detail::Access::make<Paragraph>(xmlAddChild(node_, detail::new_w(node_->doc, "p")), ctx_);
  if (!text.empty()) p.add_run(text);
  return p;
}

std::optional<Vertical_Alignment> Cell::vertical_alignment() const {
  xmlNodePtr v = tcpr_child(node_, "vAlign");
  auto val = v ? detail::w_attr(v, "val") : std::nullopt;
  return val ? vertical_alignment_from_valign(*val) : std::nullopt;
}

void Cell::set_vertical_alignment(Vertical_Alignment alignment) {
  detail::set_w_attr(ensure_tcpr_child(node_, "vAlign"), "val", to_valign(alignment));
}

std::optional<Length> Cell::width() const {
  xmlNodePtr w = tcpr_child(node_, "tcW");
  if (!w || detail::w_attr(w, "type").value_or("dxa") != "dxa") return std::nullopt;
  auto v = detail::int_value(detail::w_attr(w, "w"));
  return v ? std::optional<Length>(Twips(*v)) : std::nullopt;
}

void Cell::set_width(Length width) {
  if (width.twips() < 0) throw Error("a cell width cannot be negative");
  const std::string twips = std::to_string(width.twips());
  xmlNodePtr w = ensure_tcpr_child(node_, "tcW");
  detail::set_w_attr(w, "w", twips);
  detail::set_w_attr(w, "type", "dxa");
  // Layouts that follow the table grid (LibreOffice's) ignore w:tcW, so a
  // cell covering one grid column gives that column its width too.
  xmlNodePtr tr = node_->parent;
  xmlNodePtr tbl = tr ? tr->parent : nullptr;
  xmlNodePtr grid = tbl && detail::is_w(tbl, "tbl") ? detail::w_child(tbl, "tblGrid") : nullptr;
  if (!grid || grid_span() != 1) return;
  xmlNodePtr tr_pr = detail::w_child(tr, "trPr");
  xmlNodePtr before = tr_pr ? detail::w_child(tr_pr, "gridBefore") : nullptr;
  long col = before ? detail::int_value(detail::w_attr(before, "val")).value_or(0) : 0;
  for (xmlNodePtr c = detail::prev_w(node_, "tc"); c; c = detail::prev_w(c, "tc"))
    col += Cell(c, ctx_).grid_span();
  std::vector<xmlNodePtr> cols = detail::w_children(grid, "gridCol");
  if (col >= 0 && static_cast<size_t>(col) < cols.size())
    detail::set_w_attr(cols[static_cast<size_t>(col)], "w", twips);
}

int Cell::grid_span() const {
  xmlNodePtr s = tcpr_child(node_, "gridSpan");
  auto v = s ? detail::int_value(detail::w_attr(s, "val")) : std::nullopt;
  return v && *v > 1 && *v < 64 ? static_cast<int>(*v) : 1;
}

Cell Cell::merge(const Cell& next) {
  xmlNodePtr a = node_;
  xmlNodePtr b = next.node_;
  if (a == b) throw Error("cannot merge a cell with itself");
  if (!a->parent || detail::next_w(a, "tc") != b)
    throw Error("cells can only be merged with the next cell of their row");
  if (tcpr_child(a, "vMerge") || tcpr_child(b, "vMerge"))
    throw Error("cannot merge cells that take part in a vertical merge");

  const int span = grid_span() + next.grid_span();
  const auto wa = width(), wb = next.width();
  // The span first: the summed width belongs to the cell, not to a column.
  detail::set_w_attr(ensure_tcpr_child(a, "gridSpan"), "val", std::to_string(span));
  if (wa && wb) set_width(*wa + *wb);

  // Move the content of `b` unless it is a single blank paragraph; a blank
  // last paragraph of `a` gives way to it.
  std::vector<xmlNodePtr> moving = blocks(b);
  if (!(moving.size() == 1 && is_blank_paragraph(moving[0])) && !moving.empty()) {
    std::vector<xmlNodePtr> own = blocks(a);
    if (!own.empty() && is_blank_paragraph(own.back())) ctx_->discard(own.back());
    for (xmlNodePtr c : moving) {
      xmlUnlinkNode(c);
      xmlAddChild(a, c);
      xmlReconciliateNs(a->doc, c);
    }
  }
  ctx_->discard(b);
  return *this;
}

std::string Cell::xml() const { return detail::element_xml(node_); }

}  // namespace travo::docx
