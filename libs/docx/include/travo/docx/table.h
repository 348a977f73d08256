// A table (w:tbl).
//
// Table is a light handle into its Document and is valid while the Document
// lives.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "travo/docx/cell.h"
#include "travo/docx/node_hold.h"
#include "travo/docx/row.h"

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
struct Context;
}  // namespace detail

class Table {
 public:
  std::vector<Row> rows() const;
  // Throws when the table has no row `index`.
  Row row(int index) const;
  // Number of columns of the table grid (w:tblGrid).
  int column_count() const;
  // The cell at grid position (row, column), as Row::cell delivers it.
  Cell cell(int row, int column) const;

  // The table style's name (looked up by id in the styles part; the id
  // itself when the styles part does not know it); nullopt when unset.
  std::optional<std::string> style() const;
  // Sets the table style to the table style named `name` in the styles part
  // (the name as the user sees it, e.g. "Table Grid"; exact match first,
  // then ignoring ASCII case). Throws when the document has no table style
  // of that name; the table is then unchanged.
  void set_style(std::string_view name);

  // Takes the table out of the document, wherever it stands (the body or a
  // cell). Like other removed content it stays in memory until the
  // Document goes, so handles to it and to its rows, cells, paragraphs and
  // runs stay safe to use; they no longer belong to the document. Media
  // parts of pictures it held stay in the package. Removing a table that
  // was removed before, or that went with content around it, changes
  // nothing in the document.
  void remove();

  // The table element serialised as XML text, as Paragraph::xml does it.
  std::string xml() const;

  friend bool operator==(const Table& a, const Table& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend struct std::hash<Table>;
  Table(_xmlNode* node, detail::Context* ctx) : node_(node, ctx), ctx_(ctx) {}

  detail::Node_Hold node_;
  detail::Context* ctx_;
};

}  // namespace travo::docx

// Hashes by identity, as operator== compares.
template <>
struct std::hash<travo::docx::Table> {
  std::size_t operator()(const travo::docx::Table& h) const noexcept {
    return std::hash<const void*>()(h.node_);
  }
};
