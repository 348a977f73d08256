#include <gtest/gtest.h>

#include <string>

#include "travo/http/session.h"

namespace travo::http {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(HttpFormEncode, EncodesLikeABrowserInOrder) {
  EXPECT_EQ(form_encode({}), "");
  EXPECT_EQ(form_encode({{"_IMG_檢索.x", "12"}, {"q", "a b&c=d"}, {"e", ""}}),
            "_IMG_%E6%AA%A2%E7%B4%A2.x=12&q=a+b%26c%3Dd&e=");
  EXPECT_EQ(form_encode({{"k", "*-._~+%/?#\n"}}), "k=*-._%7E%2B%25%2F%3F%23%0A");
  EXPECT_EQ(form_encode({{"z", "1"}, {"a", "2"}, {"z", "3"}}), "z=1&a=2&z=3");
}

TEST(HttpEscapeUrl, EncodesOnlyWhatMayNotStandInAnAddress) {
  EXPECT_EQ(escape_url("http://h:1/a b/c?x=中&y=^\"<>`{|}\\#f"),
            "http://h:1/a%20b/c?x=%E4%B8%AD&y=%5E%22%3C%3E%60%7B%7C%7D%5C#f");
  const std::string reserved = "https://u@h/p;q?a=1&b=$!'()*+,;=:@[]~-._#frag";
  EXPECT_EQ(escape_url(reserved), reserved);
  EXPECT_EQ(escape_url("/a%41%e4%zz%4%"), "/a%41%e4%25zz%254%25");
  EXPECT_EQ(escape_url(escape_url("/x?q=檢 索")), escape_url("/x?q=檢 索"));
  EXPECT_EQ(escape_url(std::string("/\x01\x7F", 3)), "/%01%7F");
}

TEST(HttpToUtf8, KeepsValidText) {
  const std::string text = "ascii 檢索 é 😀 \x7F";
  EXPECT_EQ(to_utf8(text), text);
  EXPECT_EQ(to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(HttpToUtf8, ReplacesEachMaximalInvalidSubpart) {
  EXPECT_EQ(to_utf8("caf\xE9"), "caf" + kFFFD);                          // Latin-1
  EXPECT_EQ(to_utf8("\xC0\xAF"), kFFFD + kFFFD);                         // overlong '/'
  EXPECT_EQ(to_utf8("\xE0\x80\xAF"), kFFFD + kFFFD + kFFFD);             // overlong
  EXPECT_EQ(to_utf8("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD);             // surrogate
  EXPECT_EQ(to_utf8("\xF4\x90\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD); // > U+10FFFF
  EXPECT_EQ(to_utf8("\xF5\xFF"), kFFFD + kFFFD);
  EXPECT_EQ(to_utf8("\xE4\xB8"), kFFFD);                                 // truncated at end
  EXPECT_EQ(to_utf8("\xE4\xB8x"), kFFFD + "x");
  EXPECT_EQ(to_utf8("\xF0\x9F\x98" "A\xF0\x9F\x98\x80"), kFFFD + "A😀");
  EXPECT_EQ(to_utf8("\x80\xBF"), kFFFD + kFFFD);                         // lone continuations
}

TEST(HttpResolve, FollowsRfc3986) {
  const std::string base = "http://h:1/travo2/travokmc/travobkm?a=1";
  EXPECT_EQ(resolve(base, "x"), "http://h:1/travo2/travokmc/x");
  EXPECT_EQ(resolve(base, "/root/y"), "http://h:1/root/y");
  EXPECT_EQ(resolve(base, "../x"), "http://h:1/travo2/x");
  EXPECT_EQ(resolve(base, "../../../../x"), "http://h:1/x");
  EXPECT_EQ(resolve(base, "?b=2"), "http://h:1/travo2/travokmc/travobkm?b=2");
  EXPECT_EQ(resolve(base, "//other/z"), "http://other/z");
  EXPECT_EQ(resolve(base, "#part"), base + "#part");
  EXPECT_EQ(resolve(base + "#old", "#new"), base + "#new");
  EXPECT_EQ(resolve(base, " \tx y\n "), "http://h:1/travo2/travokmc/x%20y");  // as in an href
  EXPECT_EQ(resolve(base, ""), base);
  EXPECT_EQ(resolve(base, "https://elsewhere.example/p?q=中"), "https://elsewhere.example/p?q=中");
}

TEST(HttpResolve, KeepsNonAsciiAndOddCharactersOfTheReference) {
  const std::string got = resolve("http://h:1/travo2/travokmc/travobkm", "travobkm?@@0.1^&x=中");
  EXPECT_TRUE(got == "http://h:1/travo2/travokmc/travobkm?@@0.1^&x=中" ||
              got == "http://h:1/travo2/travokmc/travobkm?@@0.1%5E&x=%E4%B8%AD")
      << got;
}

TEST(HttpResolve, RejectsABaseThatIsNotAbsolute) {
  EXPECT_THROW(resolve("relative/path", "x"), Error);
  EXPECT_THROW(resolve("", "x"), Error);
  EXPECT_THROW(resolve("http://", "x"), Error);
}

}  // namespace
}  // namespace travo::http
