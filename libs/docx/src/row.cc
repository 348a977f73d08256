#include "travo/docx/row.h"

#include <charconv>

#include "context.h"
#include "travo/docx/error.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

int int_val(const xmlNode* n, int fallback) {
  if (!n) return fallback;
  auto v = detail::w_attr(n, "val");
  if (!v) return fallback;
  int out = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
  return ec == std::errc() && end == v->data() + v->size() ? out : fallback;
}

xmlNodePtr trpr_child(const xmlNode* tr, const char* local) {
  xmlNodePtr pr = detail::w_child(tr, "trPr");
  return pr ? detail::w_child(pr, local) : nullptr;
}

int span_of(const xmlNode* tc) {
  xmlNodePtr pr = detail::w_child(tc, "tcPr");
  int span = int_val(pr ? detail::w_child(pr, "gridSpan") : nullptr, 1);
  return span > 1 && span < 64 ? span : 1;
}

int grid_before(const xmlNode* tr) {
  int n = int_val(trpr_child(tr, "gridBefore"), 0);
  return n > 0 && n < 64 ? n : 0;
}

bool continues_vertical_merge(const xmlNode* tc) {
  xmlNodePtr pr = detail::w_child(tc, "tcPr");
  xmlNodePtr v = pr ? detail::w_child(pr, "vMerge") : nullptr;
  return v && detail::w_attr(v, "val").value_or("continue") != "restart";
}

int start_column(const xmlNode* tc) {
  int col = grid_before(tc->parent);
  for (xmlNodePtr c = detail::prev_w(tc, "tc"); c; c = detail::prev_w(c, "tc")) col += span_of(c);
  return col;
}

// The cell of row `tr` that covers grid column `col`, or nullptr.
xmlNodePtr cell_at(const xmlNode* tr, int col) {
  int at = grid_before(tr);
  for (xmlNodePtr tc = detail::w_child(tr, "tc"); tc; tc = detail::next_w(tc, "tc")) {
    int span = span_of(tc);
    if (col >= at && col < at + span) return tc;
    at += span;
  }
  return nullptr;
}

// The cell that starts the vertical merge `tc` continues (`tc` itself when
// it continues none).
xmlNodePtr merge_origin(xmlNodePtr tc) {
  while (continues_vertical_merge(tc)) {
    xmlNodePtr above_row = tc->parent ? detail::prev_w(tc->parent, "tr") : nullptr;
    xmlNodePtr above = above_row ? cell_at(above_row, start_column(tc)) : nullptr;
    if (!above) break;
    tc = above;
  }
  return tc;
}

}  // namespace

std::vector<Cell> Row::cells() const {
  std::vector<Cell> out;
  for (xmlNodePtr tc = detail::w_child(node_, "tc"); tc; tc = detail::next_w(tc, "tc")) {
    const Cell cell = detail::Access::make<Cell>(merge_origin(tc), ctx_);
    for (int i = span_of(tc); i > 0; --i) out.push_back(cell);
  }
  return out;
}

Cell Row::cell(int column) const {
  std::vector<Cell> all = cells();
  if (column < 0 || static_cast<size_t>(column) >= all.size())
    throw Error("the row has " + std::to_string(all.size()) + " cells; there is no cell " +
                std::to_string(column));
  return all[static_cast<size_t>(column)];
}

std::optional<Length> Row::height() const {
  xmlNodePtr h = trpr_child(node_, "trHeight");
  if (!h || !detail::w_attr(h, "val")) return std::nullopt;
  return Twips(int_val(h, 0));
}

void Row::set_height(Length height) {
  if (height.twips() < 0) throw Error("a row height cannot be negative");
  xmlNodePtr pr = detail::get_or_add(node_, "trPr", detail::kTrOrder);
  xmlNodePtr h = detail::get_or_add(pr, "trHeight", detail::kTrPrOrder);
  detail::set_w_attr(h, "val", std::to_string(height.twips()));
}

}  // namespace travo::docx
