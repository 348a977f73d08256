#include "travo/docx/length.h"

#include <cmath>
#include <limits>

namespace travo::docx {
namespace {

Length scaled(double value, double emu_per_unit) {
  double emu = std::trunc(value * emu_per_unit);
  // Clamp instead of overflowing the conversion (undefined behaviour).
  constexpr double kMax = 9.2e18;
  if (!(emu < kMax)) emu = std::isnan(emu) ? 0 : kMax;
  if (emu < -kMax) emu = -kMax;
  return Length::from_emu(static_cast<std::int64_t>(emu));
}

std::int64_t nearest(std::int64_t emu, std::int64_t per_unit) {
  std::int64_t q = emu / per_unit;
  std::int64_t r = emu % per_unit;
  if (2 * (r < 0 ? -r : r) >= per_unit) q += (emu < 0 ? -1 : 1);
  return q;
}

}  // namespace

std::int64_t Length::twips() const { return nearest(emu_, 635); }
std::int64_t Length::half_points() const { return nearest(emu_, 6350); }

Length Pt(double points) { return scaled(points, 12700.0); }
Length Cm(double centimetres) { return scaled(centimetres, 360000.0); }
Length Inches(double inches) { return scaled(inches, 914400.0); }

}  // namespace travo::docx
