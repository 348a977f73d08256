#include "quire_model/replacement_entry.h"

namespace quire_model {

Replacement_Entry Replacement_Entry::make(std::string replacement_text, const Set_Options& options) {
  Replacement_Entry e;
  e.replacement_text = std::move(replacement_text);
  e.font_name = options.new_font_name;
  e.east_asia_font_name = options.new_font_name_Chinese;
  e.font_size = options.new_font_size;
  e.alignment = options.new_alignment;
  e.left_indent = options.left_indent;
  e.line_spacing = options.line_spacing;
  e.font_color = options.font_color;
  e.remark.font_size = options.remark_new_font_size;
  e.image_path = options.image_path;
  e.image_height = options.image_height;
  e.image_width = options.image_width;
  e.image_fixed_ratio = options.image_fixed_ratio;
  return e;
}

}  // namespace quire_model
