// Paragraph and table-cell alignment values.
#pragma once

#include <optional>
#include <string_view>

namespace travo::docx {

// Horizontal alignment of a paragraph: the values of w:jc. left and right
// are the classic values; start and end are their bidi-aware forms that
// newer writers (LibreOffice among them) emit.
enum class Alignment {
  left,           // "left"
  center,         // "center"
  right,          // "right"
  justify,        // "both"
  distribute,     // "distribute"
  justify_medium, // "mediumKashida"
  justify_high,   // "highKashida"
  justify_low,    // "lowKashida"
  thai_justify,   // "thaiDistribute"
  start,          // "start"
  end,            // "end"
  num_tab,        // "numTab"
};

// The w:jc attribute value of `a`.
std::string_view to_jc(Alignment a);
// The alignment whose w:jc value is `jc`, or nullopt for an unknown value.
std::optional<Alignment> alignment_from_jc(std::string_view jc);

// Vertical alignment of a table cell: the values of w:vAlign.
enum class Vertical_Alignment {
  top,     // "top"
  center,  // "center"
  bottom,  // "bottom"
  both,    // "both"
};

std::string_view to_valign(Vertical_Alignment v);
std::optional<Vertical_Alignment> vertical_alignment_from_valign(std::string_view v);

}  // namespace travo::docx
