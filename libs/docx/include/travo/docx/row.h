// A table row (w:tr).
//
// Row is a light handle into its Document and is valid while the Document
// lives.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "travo/docx/cell.h"
#include "travo/docx/length.h"
#include "travo/docx/node_hold.h"

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
struct Context;
}  // namespace detail

class Row {
 public:
  // One cell per grid column, in grid order, starting at the row's first
  // cell (grid columns skipped with w:gridBefore are not delivered). A cell
  // spanning several grid columns is delivered once for each of them; a
  // cell continuing a vertical merge is delivered as the cell above that
  // starts the merge. (Cells compare and hash by identity, so repeats are
  // easy to pass over.)
  std::vector<Cell> cells() const;
  // The cell covering grid column `column` (as in cells()); throws when the
  // row has no cell there.
  Cell cell(int column) const;

  // Row height (w:trHeight w:val); set_height leaves the height rule as it
  // is (unset means "at least").
  std::optional<Length> height() const;
  void set_height(Length height);

  friend bool operator==(const Row& a, const Row& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend struct std::hash<Row>;
  Row(_xmlNode* node, detail::Context* ctx) : node_(node, ctx), ctx_(ctx) {}

  detail::Node_Hold node_;
  detail::Context* ctx_;
};

}  // namespace travo::docx

// Hashes by identity, as operator== compares.
template <>
struct std::hash<travo::docx::Row> {
  std::size_t operator()(const travo::docx::Row& h) const noexcept {
    return std::hash<const void*>()(h.node_);
  }
};
