#include "travo/docx/length.h"

#include <gtest/gtest.h>

#include <limits>

namespace travo::docx {
namespace {

TEST(LengthTest, UnitsMultiplyOutAndTruncate) {
  EXPECT_EQ(Pt(1).emu(), 12700);
  EXPECT_EQ(Pt(8).emu(), 101600);
  EXPECT_EQ(Cm(1).emu(), 360000);
  EXPECT_EQ(Inches(1).emu(), 914400);
  EXPECT_EQ(Twips(1).emu(), 635);
  EXPECT_EQ(HalfPoints(16), Pt(8));
  // Binary floating point puts 16.4 * 360000 just below 5904000.
  EXPECT_EQ(Cm(16.4).emu(), 5903999);
  EXPECT_EQ(Cm(13).emu(), 4680000);
  EXPECT_EQ(Cm(0.8).emu(), 288000);
  EXPECT_EQ(Pt(0.00001).emu(), 0);
  EXPECT_EQ(Pt(-0.5).emu(), -6350);
  EXPECT_EQ(Inches(1.0 / 3).emu(), 304800);
}

TEST(LengthTest, ConvertsBack) {
  EXPECT_DOUBLE_EQ(Cm(2).cm(), 2.0);
  EXPECT_DOUBLE_EQ(Pt(12).pt(), 12.0);
  EXPECT_DOUBLE_EQ(Inches(0.5).inches(), 0.5);
  EXPECT_EQ(Pt(12).twips(), 240);
  EXPECT_EQ(Pt(10.5).half_points(), 21);
  // Nearest whole unit, halves away from zero.
  EXPECT_EQ(Emu(317).twips(), 0);
  EXPECT_EQ(Emu(318).twips(), 1);
  EXPECT_EQ(Emu(-318).twips(), -1);
  EXPECT_EQ(Cm(12.2).twips(), 6917);
  EXPECT_EQ(Cm(2).twips(), 1134);
}

TEST(LengthTest, ComparesAndAdds) {
  EXPECT_LT(Pt(1), Pt(2));
  EXPECT_EQ(Cm(2) + Cm(3), Cm(5));
  EXPECT_EQ(Cm(3) - Cm(1), Cm(2));
  EXPECT_EQ(Length(), Emu(0));
}

TEST(LengthTest, AbsurdValuesDoNotOverflow) {
  EXPECT_GT(Pt(1e300).emu(), 0);
  EXPECT_LT(Pt(-1e300).emu(), 0);
  EXPECT_EQ(Pt(std::numeric_limits<double>::quiet_NaN()).emu(), 0);
}

}  // namespace
}  // namespace travo::docx
