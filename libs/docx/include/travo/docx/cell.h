// A table cell (w:tc).
//
// Cell is a light handle into its Document and is valid while the Document
// lives.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "travo/docx/alignment.h"
#include "travo/docx/length.h"
#include "travo/docx/node_hold.h"
#include "travo/docx/paragraph.h"

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
struct Context;
}  // namespace detail

class Cell {
 public:
  // The cell's own paragraphs (not those of nested tables), in order.
  std::vector<Paragraph> paragraphs() const;
  // The paragraph texts joined with "\n".
  std::string text() const;
  // Replaces the whole content with one paragraph holding one run with
  // `text` ("\n" becomes a line break); the cell properties stay.
  void set_text(std::string_view text);
  // Appends a paragraph holding `text` at the end of the cell.
  Paragraph add_paragraph(std::string_view text = "");

  std::optional<Vertical_Alignment> vertical_alignment() const;
  void set_vertical_alignment(Vertical_Alignment alignment);
  // Preferred width (w:tcW of type dxa); nullopt when unset or given in
  // another unit (percent, auto). Setting the width of a cell that covers a
  // single grid column also sets that column's width in the table grid,
  // which is what LibreOffice lays out by.
  std::optional<Length> width() const;
  void set_width(Length width);
  // Number of grid columns the cell spans (w:gridSpan, 1 when unset).
  int grid_span() const;

  // Merges `next`, which must be the next cell of the same row, into this
  // cell: this cell then spans the grid columns of both, its width is the
  // sum of both widths (when both are set), and it holds this cell's content
  // followed by that of `next` (a blank paragraph on either side is dropped
  // so that no empty line appears). `next` leaves the table. Returns this
  // cell. Throws when `next` is not the next cell in the row or either cell
  // takes part in a vertical merge.
  Cell merge(const Cell& next);

  // The cell element serialised as XML text, as Paragraph::xml does it.
  std::string xml() const;

  friend bool operator==(const Cell& a, const Cell& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend struct std::hash<Cell>;
  Cell(_xmlNode* node, detail::Context* ctx) : node_(node, ctx), ctx_(ctx) {}

  detail::Node_Hold node_;
  detail::Context* ctx_;
};

}  // namespace travo::docx

// Hashes by identity, as operator== compares.
template <>
struct std::hash<travo::docx::Cell> {
  std::size_t operator()(const travo::docx::Cell& h) const noexcept {
    return std::hash<const void*>()(h.node_);
  }
};
