// The size a cell picture is given, from its pixel size and the box of a
// replacement entry.
#pragma once

#include <optional>

#include "travo/docx/length.h"

namespace quire_model {

// The width and height to ask of Run::add_picture; an absent side follows
// the picture's proportions, and both absent mean its native size.
struct Picture_Size {
  std::optional<travo::docx::Length> width;
  std::optional<travo::docx::Length> height;
};

// `pixel_width` x `pixel_height` is the picture's size in pixels; the box
// sides are in inches. With `fixed_ratio` the result is the largest size
// with the picture's proportions that fits the box: it meets the box on one
// side and stays within it on the other (a picture that already fits and
// meets the box on one side keeps its size, pixels taken as inches). Both
// box sides are then needed; a missing one throws std::invalid_argument.
// Without `fixed_ratio` the box is used as given: both sides stretch the
// picture to it, one side sets that side only, none leaves the native size.
Picture_Size fit_picture(double pixel_width, double pixel_height, std::optional<double> box_width,
                        std::optional<double> box_height, bool fixed_ratio);

}  // namespace quire_model
