#include "travo/docx/document.h"

#include <charconv>

#include "context.h"
#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

using detail::Context;

constexpr char kStrictOfficeDocument[] =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";

std::optional<long> int_attr(const xmlNode* n, const char* local) {
  if (!n) return std::nullopt;
  auto v = detail::w_attr(n, local);
  if (!v) return std::nullopt;
  long out = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
  if (ec != std::errc()) return std::nullopt;
  return out;
}

void load(Context& ctx) {
  Package& pkg = ctx.package;
  std::string main;
  for (const Relationship& r : pkg.relationships("")) {
    if (r.type == kStrictOfficeDocument)
      throw Error("Strict Open XML documents are not supported; save it as a Word Document");
    if (r.type == ns::kRelOfficeDocument && !r.external) {
      main = Package::resolve_target("", r.target);
      break;
    }
  }
  if (main.empty() || !pkg.has_part(main)) main = "word/document.xml";
  if (!pkg.has_part(main)) throw Error("not a Word document: word/document.xml is missing");
  ctx.main_part = main;
  ctx.doc = detail::Access::xml_part(pkg, main);
  // Handles change the tree freely, so the main part always counts as
  // modified: it is serialised from the tree, never copied.
  pkg.mark_modified(main);
  xmlNodePtr root = xmlDocGetRootElement(ctx.doc);
  if (!detail::is_w(root, "document"))
    throw Error("not a Word document: the root element of '" + main + "' is not w:document");
  ctx.body = detail::w_child(root, "body");
  if (!ctx.body) throw Error("not a Word document: '" + main + "' has no w:body");
}

// Inserts `node` as the last content of the body: before the body's final
// w:sectPr, which must stay last.
void append_to_body(Context& ctx, xmlNodePtr node) {
  xmlNodePtr sect = nullptr;
  for (xmlNodePtr c = ctx.body->last; c; c = c->prev) {
    if (c->type != XML_ELEMENT_NODE) continue;
    if (detail::is_w(c, "sectPr")) sect = c;
    break;
  }
  if (sect) xmlAddPrevSibling(sect, node);
  else xmlAddChild(ctx.body, node);
}

// The width between the page margins, in twips.
long text_width_twips(Context& ctx) {
  xmlNodePtr sect = detail::w_child(ctx.body, "sectPr");
  xmlNodePtr size = sect ? detail::w_child(sect, "pgSz") : nullptr;
  xmlNodePtr margins = sect ? detail::w_child(sect, "pgMar") : nullptr;
  auto page = int_attr(size, "w");
  long left = int_attr(margins, "left").value_or(int_attr(margins, "start").value_or(1440));
  long right = int_attr(margins, "right").value_or(int_attr(margins, "end").value_or(1440));
  if (page && *page - left - right > 0) return *page - left - right;
  return 9360;  // 6.5 inches: Letter paper with one-inch margins
}

}  // namespace

Document::Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document Document::from_bytes(std::string bytes, const Limits& limits) {
  Document d;
  d.ctx_ = std::make_unique<Context>(Package::from_bytes(std::move(bytes), limits));
  load(*d.ctx_);
  return d;
}

Document Document::open(const std::filesystem::path& path, const Limits& limits) {
  Document d;
  d.ctx_ = std::make_unique<Context>(Package::open(path, limits));
  try {
    load(*d.ctx_);
  } catch (const Error& e) {
    throw Error("'" + path.string() + "': " + e.what());
  }
  return d;
}

std::vector<Paragraph> Document::paragraphs() const {
  std::vector<Paragraph> out;
  for (xmlNodePtr c = ctx_->body->children; c; c = c->next)
    if (detail::is_w(c, "p")) out.push_back(detail::Access::make<Paragraph>(c, ctx_.get()));
  return out;
}

std::vector<Table> Document::tables() const {
  std::vector<Table> out;
  for (xmlNodePtr c = ctx_->body->children; c; c = c->next)
    if (detail::is_w(c, "tbl")) out.push_back(detail::Access::make<Table>(c, ctx_.get()));
  return out;
}

std::vector<Block> Document::blocks() const {
  std::vector<Block> out;
  for (xmlNodePtr c = ctx_->body->children; c; c = c->next) {
    if (detail::is_w(c, "p")) out.emplace_back(detail::Access::make<Paragraph>(c, ctx_.get()));
    else if (detail::is_w(c, "tbl")) out.emplace_back(detail::Access::make<Table>(c, ctx_.get()));
  }
  return out;
}

Paragraph Document::add_paragraph(std::string_view text) {
  detail::check_text(text, "paragraph text");
  xmlNodePtr p = detail::new_w(ctx_->doc, "p");
  append_to_body(*ctx_, p);
  Paragraph para = detail::Access::make<Paragraph>(p, ctx_.get());
  if (!text.empty()) para.add_run(text);
  return para;
}

Paragraph Document::add_page_break() {
  Paragraph para = add_paragraph();
  para.add_run().add_page_break();
  return para;
}

Table Document::add_table(int rows, int cols) {
  if (rows < 0 || rows > 32767)
    throw Error("a table needs 0 to 32767 rows, not " + std::to_string(rows));
  if (cols < 1 || cols > 63)
    throw Error("a table needs 1 to 63 columns, not " + std::to_string(cols));
  xmlDocPtr doc = ctx_->doc;
  const std::string col_width = std::to_string(text_width_twips(*ctx_) / cols);

  xmlNodePtr tbl = detail::new_w(doc, "tbl");
  xmlNodePtr tbl_pr = xmlAddChild(tbl, detail::new_w(doc, "tblPr"));
  xmlNodePtr tbl_w = xmlAddChild(tbl_pr, detail::new_w(doc, "tblW"));
  detail::set_w_attr(tbl_w, "w", "0");
  detail::set_w_attr(tbl_w, "type", "auto");
  xmlNodePtr look = xmlAddChild(tbl_pr, detail::new_w(doc, "tblLook"));
  detail::set_w_attr(look, "val", "04A0");
  detail::set_w_attr(look, "firstRow", "1");
  detail::set_w_attr(look, "lastRow", "0");
  detail::set_w_attr(look, "firstColumn", "1");
  detail::set_w_attr(look, "lastColumn", "0");
  detail::set_w_attr(look, "noHBand", "0");
  detail::set_w_attr(look, "noVBand", "1");
  xmlNodePtr grid = xmlAddChild(tbl, detail::new_w(doc, "tblGrid"));
  for (int c = 0; c < cols; ++c)
    detail::set_w_attr(xmlAddChild(grid, detail::new_w(doc, "gridCol")), "w", col_width);
  for (int r = 0; r < rows; ++r) {
    xmlNodePtr tr = xmlAddChild(tbl, detail::new_w(doc, "tr"));
    for (int c = 0; c < cols; ++c) {
      xmlNodePtr tc = xmlAddChild(tr, detail::new_w(doc, "tc"));
      xmlNodePtr tc_pr = xmlAddChild(tc, detail::new_w(doc, "tcPr"));
      xmlNodePtr tc_w = xmlAddChild(tc_pr, detail::new_w(doc, "tcW"));
      detail::set_w_attr(tc_w, "w", col_width);
      detail::set_w_attr(tc_w, "type", "dxa");
      xmlAddChild(tc, detail::new_w(doc, "p"));
    }
  }
  append_to_body(*ctx_, tbl);
  return detail::Access::make<Table>(tbl, ctx_.get());
}

void Document::save(const std::filesystem::path& path) { ctx_->package.save(path); }

std::string Document::to_bytes() { return ctx_->package.to_bytes(); }

Package& Document::package() { return ctx_->package; }

const std::string& Document::main_part_name() const { return ctx_->main_part; }

}  // namespace travo::docx
