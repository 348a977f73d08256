// The replacement entry: how one placeholder is replaced and formatted.
//
// A report program registers entries with Document::set, naming the options
// it wants to change:
//
//   doc.set("{{name}}", "王小明", {.new_font_size = travo::docx::Pt(12)});
//
// Options it does not name take the defaults written below. Naming an
// option with no value (`.left_indent = std::nullopt`) stores it as absent;
// what an absent value means is stated at each field of Replacement_Entry.
// An option name that does not exist does not compile.
//
// Every entry has the same fixed keys. The fields of Replacement_Entry carry
// them; the comment of each field gives the key under which report programs
// and printed findings know it.
#pragma once

#include <optional>
#include <string>

#include "travo/docx/alignment.h"
#include "travo/docx/length.h"
#include "quire_model/ordered_map.h"

namespace quire_model {

// A font colour of three components, each meant to be 0 to 255. Values
// outside that range are stored as given and refused (travo::docx::Error) when the
// colour is applied.
struct Font_Color {
  int red = 0;
  int green = 0;
  int blue = 0;
  friend bool operator==(const Font_Color&, const Font_Color&) = default;
};

// The named options of Document::set with their defaults. (Every member
// has an initializer, so naming only some of them draws no warning.)
struct Set_Options {
  std::optional<std::string> new_font_name = "Calibri";
  std::optional<std::string> new_font_name_Chinese = "標楷體";
  std::optional<travo::docx::Length> new_font_size = travo::docx::Pt(8);
  std::optional<travo::docx::Alignment> new_alignment = travo::docx::Alignment::center;
  std::optional<double> left_indent = std::nullopt;   // points
  std::optional<double> line_spacing = std::nullopt;  // points
  std::optional<Font_Color> font_color = std::nullopt;
  std::optional<travo::docx::Length> remark_new_font_size = travo::docx::Pt(8);
  std::optional<std::string> image_path = std::nullopt;
  std::optional<double> image_height = std::nullopt;  // inches
  std::optional<double> image_width = std::nullopt;   // inches
  std::optional<bool> image_fixed_ratio = true;
};

struct Replacement_Entry {
  // "替換值": the text that takes the placeholder's place. Inside a body
  // paragraph the marker "$$$page$$$" in it becomes a page break; inside a
  // table cell the marker "__remark__" starts the remark run.
  std::string replacement_text;
  // "英文字型": the run's font name (Latin text). Absent: left unset.
  std::optional<std::string> font_name;
  // "中文字型": the w:eastAsia font of the run (CJK text). Absent: left unset.
  std::optional<std::string> east_asia_font_name;
  // "字體大小": the size of the replacement runs. Absent: left unset.
  std::optional<travo::docx::Length> font_size;
  // "對其位置": the paragraph's alignment. Absent: the paragraph's own
  // alignment is removed, so that its style decides.
  std::optional<travo::docx::Alignment> alignment;
  // "left_indent": the paragraph's left indent, in points, as given.
  // Absent: the indent is left as it is.
  std::optional<double> left_indent;
  // "line_spacing": exact line spacing, in points, as given. Absent: left
  // as it is.
  std::optional<double> line_spacing;
  // "font_color": the runs' font colour. Absent: left unset.
  std::optional<Font_Color> font_color;
  // "__remark__" / "字體大小": the size of a cell's remark run.
  struct Remark {
    std::optional<travo::docx::Length> font_size;
    friend bool operator==(const Remark&, const Remark&) = default;
  } remark;
  // "image_path": a picture to add to each paragraph of a replaced cell.
  // Paths under "C:/corvana/" are mapped to the local folder that stands
  // for it. Absent: no picture.
  std::optional<std::string> image_path;
  // "image_height", "image_width": the picture box, in inches, as given.
  std::optional<double> image_height;
  std::optional<double> image_width;
  // "固定圖片比例": fit the picture into the box keeping its proportions.
  // False or absent: see Document::execute_set.
  std::optional<bool> image_fixed_ratio;

  // The entry for `replacement_text` with `options`; every key is filled
  // from the options, none from an earlier entry.
  static Replacement_Entry make(std::string replacement_text, const Set_Options& options = {});

  friend bool operator==(const Replacement_Entry&, const Replacement_Entry&) = default;
};

// The replacement registry: placeholder text to entry, in order of first
// registration.
using Replacement_Registry = Ordered_Map<Replacement_Entry>;

}  // namespace quire_model
