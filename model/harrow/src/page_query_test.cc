#include "travo/harrow/page_query.h"

#include <gtest/gtest.h>

namespace travo::harrow {
namespace {

constexpr const char* kInfo50 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";

TEST(PageQuery, WorkedExample) {
  const std::string q = page_query(kInfo50, 3, 1);
  EXPECT_EQ(q, "0123456789ABCDE1GHIJKL03OPQRSTUVWXYZabcdefg4ijklmn^1");
  EXPECT_EQ(q.size(), 52u);
}

TEST(PageQuery, PageNumbersAsTwoDigitUpperHex) {
  EXPECT_EQ(page_query(kInfo50, 0, 1).substr(22, 2), "00");
  EXPECT_EQ(page_query(kInfo50, 10, 1).substr(22, 2), "0A");
  EXPECT_EQ(page_query(kInfo50, 199, 1).substr(22, 2), "C7");
  EXPECT_EQ(pages_hex(255), "FF");
  EXPECT_EQ(pages_hex(256), "100");
  EXPECT_THROW(pages_hex(-1), std::invalid_argument);
}

TEST(PageQuery, OnlyFourPositionsChangeAndCodeIsAppended) {
  const std::string info(60, 'x');
  const std::string q = page_query(info, 0x2B, 7);
  ASSERT_EQ(q.size(), 62u);
  for (size_t i = 0; i < 60; ++i) {
    if (i == 15) EXPECT_EQ(q[i], '7');
    else if (i == 22) EXPECT_EQ(q[i], '2');
    else if (i == 23) EXPECT_EQ(q[i], 'B');
    else if (i == 43) EXPECT_EQ(q[i], '4');
    else EXPECT_EQ(q[i], 'x') << "position " << i;
  }
  EXPECT_EQ(q.substr(60), "^7");
}

TEST(PageQuery, ShortAndEmptyInfo) {
  EXPECT_EQ(page_query("", 0, 1), "1004^1");
  // 20 characters: 0-14 kept, code, 16-19 kept, hex, nothing of 24-42, "4".
  EXPECT_EQ(page_query("abcdefghijklmnopqrst", 1, 1), "abcdefghijklmno1qrst014^1");
  // 44 characters: position 43 exists and is replaced, nothing after it.
  const std::string info44(44, 'y');
  const std::string q = page_query(info44, 0, 1);
  EXPECT_EQ(q.size(), 46u);
  EXPECT_EQ(q.substr(43), "4^1");
}

TEST(PageQuery, CountsCharactersNotBytes) {
  // Sixteen CJK characters: position 15 is the last one, replaced whole.
  const std::string info = "一二三四五六七八九十甲乙丙丁戊己";
  const std::string q = page_query(info, 0, 1);
  EXPECT_EQ(q, "一二三四五六七八九十甲乙丙丁戊1004^1");
}

}  // namespace
}  // namespace travo::harrow
