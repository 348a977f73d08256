#include <gtest/gtest.h>

#include <string>

#include "travo/html/document.h"

namespace travo::html {
namespace {

TEST(TrimTest, AsciiWhiteSpace) {
  EXPECT_EQ(trim("  a b \t\r\n\v\f"), "a b");
  EXPECT_EQ(trim("x"), "x");
  EXPECT_EQ(trim(""), "");
}

TEST(TrimTest, UnicodeWhiteSpace) {
  EXPECT_EQ(trim("\u3000甲公司\u3000"), "甲公司");
  EXPECT_EQ(trim("\u00A0\u00A0CN1234A\u00A0"), "CN1234A");
  EXPECT_EQ(trim("\u0085\u1680\u2000\u2005\u200A\u2028\u2029\u202F\u205F x \u3000\u00A0\u0085"), "x");
  EXPECT_EQ(trim("\u00A0 \u3000 \t\u2003"), "");  // all space
  EXPECT_EQ(trim("a\u3000b"), "a\u3000b");         // inner space stays
}

TEST(TrimTest, LeavesOtherCharactersWhole) {
  // Look-alikes that are not White_Space: U+200B zero width space, U+3001,
  // U+00A1, U+2060 word joiner; and multi-byte characters that share bytes
  // with space encodings (U+4E2D ends in 0xAD, U+3080 starts E3 82).
  EXPECT_EQ(trim("\u200Bx\u200B"), "\u200Bx\u200B");
  EXPECT_EQ(trim("\u3001x\u00A1"), "\u3001x\u00A1");
  EXPECT_EQ(trim("\u2060x\u2060"), "\u2060x\u2060");
  EXPECT_EQ(trim(" 中 "), "中");
  EXPECT_EQ(trim("\u3080"), "\u3080");
}

TEST(TrimTest, InvalidUtf8IsKept) {
  EXPECT_EQ(trim(" \xFF "), "\xFF");
  EXPECT_EQ(trim("\x85\xA0"), "\x85\xA0");         // lone continuation bytes
  EXPECT_EQ(trim(" \xC2"), "\xC2");                // truncated sequence
  EXPECT_EQ(trim("\xE3\x80"), "\xE3\x80");         // truncated U+3000
  EXPECT_EQ(trim("x\xE3\x80\x80\xE3\x80"), "x\xE3\x80\x80\xE3\x80");
  EXPECT_EQ(trim(std::string("\0 a", 3)), std::string("\0 a", 3));
}

}  // namespace
TEST(FirstCharsTest, CountsCodePointsNotBytes) {
  EXPECT_EQ(first_chars("石墨烯abc", 2), "石墨");
  EXPECT_EQ(first_chars("a石", 5), "a石");
  EXPECT_EQ(first_chars("", 3), "");
  EXPECT_EQ(first_chars("abc", 0), "");
}

}  // namespace travo::html
