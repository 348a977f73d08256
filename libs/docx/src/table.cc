#include "travo/docx/table.h"

#include "context.h"
#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/text/ascii.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

// The styles part of the main document, or "" when there is none.
std::string styles_part(detail::Context& ctx) {
  for (const Relationship& r : ctx.package.relationships(ctx.main_part))
    if (r.type == ns::kRelStyles && !r.external) {
      std::string name = Package::resolve_target(ctx.main_part, r.target);
      if (ctx.package.has_part(name)) return name;
    }
  return ctx.package.has_part("word/styles.xml") ? "word/styles.xml" : "";
}

std::string style_name(const xmlNode* style) {
  xmlNodePtr n = detail::w_child(style, "name");
  return n ? detail::w_attr(n, "val").value_or("") : "";
}

}  // namespace

std::vector<Row> Table::rows() const {
  std::vector<Row> out;
  for (xmlNodePtr tr : detail::w_children(node_, "tr"))
    out.push_back(detail::Access::make<Row>(tr, ctx_));
  return out;
}

Row Table::row(int index) const {
  std::vector<Row> all = rows();
  if (index < 0 || static_cast<size_t>(index) >= all.size())
    throw Error("the table has " + std::to_string(all.size()) + " rows; there is no row " +
                std::to_string(index));
  return all[static_cast<size_t>(index)];
}

int Table::column_count() const {
  if (xmlNodePtr grid = detail::w_child(node_, "tblGrid"))
    return static_cast<int>(detail::w_children(grid, "gridCol").size());
  size_t widest = 0;
  for (const Row& r : rows()) widest = std::max(widest, r.cells().size());
  return static_cast<int>(widest);
}

Cell Table::cell(int row_index, int column) const { return row(row_index).cell(column); }

std::optional<std::string> Table::style() const {
  xmlNodePtr pr = detail::w_child(node_, "tblPr");
  xmlNodePtr s = pr ? detail::w_child(pr, "tblStyle") : nullptr;
  auto id = s ? detail::w_attr(s, "val") : std::nullopt;
  if (!id) return std::nullopt;
  std::string part = styles_part(*ctx_);
  if (part.empty()) return id;
  xmlNodePtr root = xmlDocGetRootElement(detail::Access::xml_part(ctx_->package, part));
  for (xmlNodePtr st : detail::w_children(root, "style"))
    if (detail::w_attr(st, "styleId") == id) {
      std::string name = style_name(st);
      return name.empty() ? id : name;
    }
  return id;
}

void Table::set_style(std::string_view name) {
  const std::string wanted(name);
  std::string part = styles_part(*ctx_);
  if (part.empty())
    throw Error("the document has no styles part, so it has no table style '" + wanted + "'");
  xmlNodePtr root = xmlDocGetRootElement(detail::Access::xml_part(ctx_->package, part));
  std::vector<xmlNodePtr> styles = detail::w_children(root, "style");
  xmlNodePtr found = nullptr;
  for (xmlNodePtr st : styles)
    if (!found && style_name(st) == wanted) found = st;
  for (xmlNodePtr st : styles)
    if (!found && text::iequals(style_name(st), wanted)) found = st;
  if (!found) throw Error("the document has no table style named '" + wanted + "'");
  std::string type = detail::w_attr(found, "type").value_or("paragraph");
  if (type != "table")
    throw Error("style '" + wanted + "' is a " + type + " style, not a table style");
  auto id = detail::w_attr(found, "styleId");
  if (!id || id->empty()) throw Error("style '" + wanted + "' has no style id");
  xmlNodePtr pr = detail::get_or_add(node_, "tblPr", detail::kTblOrder);
  detail::set_w_attr(detail::get_or_add(pr, "tblStyle", detail::kTblPrOrder), "val", *id);
}

void Table::remove() {
  // An unlinked table was discarded before, or never linked; discarding it
  // twice would free it twice.
  if (node_->parent) ctx_->discard(node_);
}

std::string Table::xml() const { return detail::element_xml(node_); }

}  // namespace travo::docx
