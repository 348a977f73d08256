#include "travo/text/ascii.h"

#include <gtest/gtest.h>

namespace travo::text {
namespace {

TEST(Ascii, CaseFoldsAsciiLettersOnlyAndLeavesUtf8Alone) {
  EXPECT_EQ(ascii_lower("Content-Type: TEXT/Html"), "content-type: text/html");
  EXPECT_EQ(ascii_lower("LiDAR 裝置 ÄÖ"), "lidar 裝置 ÄÖ");
  EXPECT_TRUE(iequals("Content-Length", "content-LENGTH"));
  EXPECT_TRUE(iequals("WORD/Media/IMAGE1.PNG", "word/media/image1.png"));
  EXPECT_FALSE(iequals("Ä", "ä"));  // not ASCII: compared as bytes
  EXPECT_FALSE(iequals("abc", "abcd"));
  EXPECT_FALSE(iequals("[", "{"));  // '[' + 32 is '{', but neither is a letter
  static_assert(iequals("", ""));
}

TEST(Ascii, TrimTakesSpacesTabsAndLineEndsFromBothEnds) {
  EXPECT_EQ(trim_ascii(" \t 12345 \r\n"), "12345");
  EXPECT_EQ(trim_ascii("a b"), "a b");
  EXPECT_EQ(trim_ascii(" \r\n\t "), "");
  EXPECT_EQ(trim_ascii(""), "");
  EXPECT_EQ(trim_ascii("\u3000x\u3000"), "\u3000x\u3000");  // Unicode space is not ASCII
}

}  // namespace
}  // namespace travo::text
