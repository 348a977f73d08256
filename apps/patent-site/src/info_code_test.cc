#include "travo/patent_site/info_code.h"

#include <gtest/gtest.h>

#include <cctype>

namespace travo::patent_site {
namespace {

constexpr std::string_view kExampleInfo = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";

TEST(PageQuery, RewritesFourPositionsAndAppendsCode) {
  EXPECT_EQ(page_query(kExampleInfo, 3, 1), "0123456789ABCDE1GHIJKL03OPQRSTUVWXYZabcdefg4ijklmn^1");
  EXPECT_EQ(page_query(kExampleInfo, 10, 1).substr(22, 2), "0A");
  EXPECT_EQ(page_query(kExampleInfo, 199, 1).substr(22, 2), "C7");
  EXPECT_EQ(page_query("", 0, 1), "1004^1");
  EXPECT_EQ(page_query("0123456789", 1, 1), "0123456789101" "4^1");
}

TEST(Info, FixedLayoutThatAnUnrewrittenQueryCannotPass) {
  for (bool short_form : {false, true}) {
    const std::string info = make_info(0x1234567890abcdefull, 2345, short_form);
    ASSERT_EQ(info.size(), short_form ? kShortInfoLength : kInfoLength);
    for (char c : info) {
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '@' || c == '.' || c == '_' ||
                  c == '-')
          << info;
    }
    EXPECT_NE(info[15], '1');
    EXPECT_FALSE(check_page_query(info, info).ok());
    EXPECT_FALSE(check_page_query(info, info + "^1").ok());
  }
  const std::string info = make_info(7, 12);
  EXPECT_NE(info[43], '4');
  EXPECT_EQ(info.substr(22, 2), "ZZ");
  EXPECT_NE(make_info(8, 12), info) << "query ids must show in the value";
}

TEST(Info, AcceptsExactlyTheRewriteOfItsOwnValue) {
  for (bool short_form : {false, true}) {
    const std::string info = make_info(99, 2250, short_form);
    for (int page : {0, 1, 10, 199, 255}) {
      const auto check = check_page_query(info, page_query(info, page, 1));
      EXPECT_TRUE(check.ok()) << check.error;
      EXPECT_EQ(check.page, page);
    }
  }
}

TEST(Info, RejectsNearMisses) {
  const std::string info = make_info(99, 2250);
  const std::string good = page_query(info, 0x1A, 1);
  auto rejected = [&](std::string q, std::string_view why) {
    const auto check = check_page_query(info, q);
    EXPECT_FALSE(check.ok()) << q;
    EXPECT_NE(check.error.find(why), std::string::npos) << check.error;
  };
  rejected(page_query(info, 0x1A, 2), "code 1");
  std::string lower = good;
  lower[23] = 'a';
  rejected(lower, "upper-case hex");
  std::string kept = good;
  kept[30] = kept[30] == 'A' ? 'B' : 'A';
  rejected(kept, "position 30");
  std::string four = good;
  four[43] = 'X';
  rejected(four, "position 43");
  rejected(good.substr(0, good.size() - 2) + "^^", "end with");
  rejected(good + "1", "characters");
  rejected(page_query(make_info(100, 2250), 0, 1), "position");  // another search's INFO
  rejected(page_query(info, 256, 1), "characters");
}

}  // namespace
}  // namespace travo::patent_site
