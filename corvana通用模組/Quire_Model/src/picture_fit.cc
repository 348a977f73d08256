#include "picture_fit.h"

#include <stdexcept>

namespace docx = travo::docx;

namespace quire_model {

Picture_Size fit_picture(double pixel_width, double pixel_height, std::optional<double> box_width,
                        std::optional<double> box_height, bool fixed_ratio) {
  if (!fixed_ratio) {
    Picture_Size out;
    if (box_width) out.width = travo::docx::Inches(*box_width);
    if (box_height) out.height = travo::docx::Inches(*box_height);
    return out;
  }
  if (!box_width || !box_height)
    throw std::invalid_argument(
        "a picture kept in proportion needs both image_width and image_height");
  const double bw = *box_width, bh = *box_height;
  const double ratio = pixel_width / pixel_height;
  double w = pixel_width, h = pixel_height;
  // Enlarge a picture smaller than the box on both sides until it meets
  // the box, then shrink whatever overflows; only the ratio survives, so
  // pixels and inches never mix in the result.
  if (w < bw && h < bh) {
    w = bw;
    h = bw / ratio;
    if (h < bh) {
      h = bh;
      w = bh * ratio;
    }
  }
  if (w > bw || h > bh) {
    if (w > bw) {
      w = bw;
      h = bw / ratio;
    }
    if (h > bh) {
      h = bh;
      w = bh * ratio;
    }
  }
  return {travo::docx::Inches(w), travo::docx::Inches(h)};
}

}  // namespace quire_model
