// Grid placement with outer padding and sticky alignment.
//
// Qt's QGridLayout has no per-cell outer padding and aligns by flags; the
// windows of this module are laid out in terms of grid cells, padding pairs
// and sticky sides instead. grid() places a widget in its parent's grid with
// these rules:
//
//   * The cell is (row, column), spanning rowspan rows and columnspan columns.
//   * padx / pady: outer padding in pixels, left/right and top/bottom. A
//     single number pads both sides equally.
//   * sticky: a text of the letters n, s, e, w (any order; spaces and commas
//     are ignored). Sides named stick to the cell's edge; naming both east and
//     west (or north and south) stretches the widget in that direction; with
//     neither, it is centred in that direction. "" centres it both ways.
//   * Several widgets may share a cell; they overlap, later ones on top.
//   * A parent's grid starts with every row and column at its content's size
//     and the content anchored top-left. grid_columnconfigure() and
//     grid_rowconfigure() with a positive weight let that row or column take
//     a share of any extra space instead.
//
// Invalid arguments (negative cells or padding, spans below 1, other letters
// in sticky, a null widget or parent) throw std::invalid_argument.
#pragma once

#include <QGridLayout>
#include <QWidget>
#include <string>
#include <string_view>

namespace lattice_model {

// Outer padding on the two sides of one direction, in pixels.
struct Pad {
  Pad(int both = 0) : first(both), second(both) {}  // NOLINT: a bare number pads both sides
  Pad(int first_side, int second_side) : first(first_side), second(second_side) {}
  int first;   // left or top
  int second;  // right or bottom
};

struct Grid_Place {
  int row = 0;
  int column = 0;
  int rowspan = 1;
  int columnspan = 1;
  Pad padx{};
  Pad pady{};
  std::string sticky{};  // "" centres
};

// The grid of `parent`, created (no margins, no spacing, anchored top-left)
// on first use. Throws std::invalid_argument if `parent` already has a
// layout of another kind.
QGridLayout* grid_layout(QWidget* parent);

// Makes `widget` a child of `parent` and places it in the parent's grid.
void grid(QWidget* widget, QWidget* parent, const Grid_Place& place);

// Gives `column` (or `row`) of the parent's grid a share of extra space
// proportional to `weight`; 0 takes the share away again.
void grid_columnconfigure(QWidget* parent, int column, int weight);
void grid_rowconfigure(QWidget* parent, int row, int weight);

// The alignment flags for a sticky text (0 in a direction means stretch).
Qt::Alignment sticky_alignment(std::string_view sticky);

}  // namespace lattice_model
