// A distance in a word-processing document.
//
// A Length is a whole number of English Metric Units (EMU): 12700 per point,
// 360000 per centimetre, 914400 per inch, 635 per twip (a twentieth of a
// point) and 6350 per half-point. A value given in points, centimetres or
// inches is multiplied out and truncated toward zero to a whole EMU, so
// Cm(16.4) is 5903999 EMU (16.4 * 360000 is a hair below 5904000 in binary
// floating point), and Pt(8) is exactly 101600.
#pragma once

#include <compare>
#include <cstdint>

namespace travo::docx {

class Length {
 public:
  constexpr Length() = default;
  static constexpr Length from_emu(std::int64_t emu) { return Length(emu); }

  constexpr std::int64_t emu() const { return emu_; }
  double pt() const { return static_cast<double>(emu_) / 12700.0; }
  double cm() const { return static_cast<double>(emu_) / 360000.0; }
  double inches() const { return static_cast<double>(emu_) / 914400.0; }
  // The nearest whole number of twips / half-points (halves round away from
  // zero). These are the units WordprocessingML stores.
  std::int64_t twips() const;
  std::int64_t half_points() const;

  friend constexpr auto operator<=>(Length, Length) = default;
  friend constexpr Length operator+(Length a, Length b) { return Length(a.emu_ + b.emu_); }
  friend constexpr Length operator-(Length a, Length b) { return Length(a.emu_ - b.emu_); }

 private:
  constexpr explicit Length(std::int64_t emu) : emu_(emu) {}
  std::int64_t emu_ = 0;
};

constexpr Length Emu(std::int64_t emu) { return Length::from_emu(emu); }
constexpr Length Twips(std::int64_t twips) { return Length::from_emu(twips * 635); }
constexpr Length HalfPoints(std::int64_t half_points) { return Length::from_emu(half_points * 6350); }
// Multiplied out and truncated toward zero. Values beyond the range of an
// int64 EMU count (about 7e8 km) are clamped.
Length Pt(double points);
Length Cm(double centimetres);
Length Inches(double inches);

}  // namespace travo::docx
