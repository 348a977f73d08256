#include "travo/patent_site/web_text.h"

#include <gtest/gtest.h>

namespace travo::patent_site {
namespace {

TEST(WebText, PercentDecodingKeepsWhatIsNotAnEscape) {
  EXPECT_EQ(percent_decode("abc%5E1"), "abc^1");
  EXPECT_EQ(percent_decode("%e6%aa%a2"), "檢");
  EXPECT_EQ(percent_decode("100%"), "100%");
  EXPECT_EQ(percent_decode("%zz%4"), "%zz%4");
  EXPECT_EQ(percent_decode("a+b"), "a+b");
  EXPECT_EQ(percent_decode("a+b", true), "a b");
}

TEST(WebText, FormBodiesKeepOrderDuplicatesAndUtf8Names) {
  const std::string body = "_21_1_T=%E8%A3%9D%E7%BD%AE+%E6%96%B9%E6%B3%95&_IMG_%E6%AA%A2%E7%B4%A2.x=1"
                           "&empty=&bare&&_21_1_T=second";
  const Fields f = parse_form(body);
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[0], (std::pair<std::string, std::string>{"_21_1_T", "裝置 方法"}));
  EXPECT_EQ(f[1].first, "_IMG_檢索.x");
  EXPECT_EQ(f[2], (std::pair<std::string, std::string>{"empty", ""}));
  EXPECT_EQ(f[3], (std::pair<std::string, std::string>{"bare", ""}));
  EXPECT_EQ(field(f, "_21_1_T"), "裝置 方法");  // first wins
  EXPECT_EQ(field(f, "missing"), std::nullopt);
  EXPECT_EQ(parse_form(encode_form(f)), f);
}

TEST(WebText, CookieHeaderLookup) {
  EXPECT_EQ(cookie_value("a=1; TRAVOSID=abc; b=2", "TRAVOSID"), "abc");
  EXPECT_EQ(cookie_value("TRAVOSID=\"q\"", "TRAVOSID"), "q");
  EXPECT_EQ(cookie_value("XTRAVOSID=abc", "TRAVOSID"), std::nullopt);
  EXPECT_EQ(cookie_value("", "TRAVOSID"), std::nullopt);
}

TEST(WebText, HtmlEscape) {
  EXPECT_EQ(html_escape("己 & 庚<\"'>"), "己 &amp; 庚&lt;&quot;&#39;&gt;");
}

}  // namespace
}  // namespace travo::patent_site
