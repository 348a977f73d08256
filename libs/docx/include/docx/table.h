// A table (w:tbl).
//
// Table is a light handle into its Document and is valid while the Document
// lives.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "docx/cell.h"
#include "docx/row.h"

struct _xmlNode;

namespace docx {

namespace detail {
struct Context;
}

class Table {
 public:
  Table(_xmlNode* node, detail::Context* ctx) : node_(node), ctx_(ctx) {}

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

  _xmlNode* node() const { return node_; }
  friend bool operator==(const Table& a, const Table& b) { return a.node_ == b.node_; }

 private:
  _xmlNode* node_;
  detail::Context* ctx_;
};

}  // namespace docx
