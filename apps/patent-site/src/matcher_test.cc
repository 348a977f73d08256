#include "travo/patent_site/matcher.h"
#include "travo/text/ascii.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "travo/patent_site/web_text.h"

namespace travo::patent_site {
namespace {

// One default-sized corpus for the whole file; generating it is cheap but
// there is no reason to do it per test.
const std::vector<Patent>& corpus() {
  static const std::vector<Patent> c = generate_corpus(5000, 1);
  return c;
}
const Matcher& matcher() {
  static const Matcher m(corpus());
  return m;
}

TEST(Corpus, DeterministicWithUniqueNumbersAndOrderedByPublication) {
  const auto& c = corpus();
  const auto again = generate_corpus(5000, 1);
  ASSERT_EQ(c.size(), again.size());
  for (size_t i = 0; i < c.size(); ++i) {
    ASSERT_EQ(c[i].publication_number, again[i].publication_number);
    ASSERT_EQ(c[i].title, again[i].title);
  }
  auto titles = [](unsigned seed) {
    std::vector<std::string> t;
    for (const Patent& p : generate_corpus(50, seed)) t.push_back(p.title);
    return t;
  };
  EXPECT_NE(titles(1), titles(2));

  std::set<std::string> pubs, appls;
  for (size_t i = 0; i < c.size(); ++i) {
    const Patent& p = c[i];
    pubs.insert(p.publication_number);
    appls.insert(p.application_number);
    EXPECT_EQ(p.application_number.size(), 9u);
    EXPECT_LT(p.application_date, p.publication_date) << p.publication_number;
    ASSERT_FALSE(p.applicants.empty());
    if (i > 0) {
      EXPECT_GE(c[i - 1].publication_date, p.publication_date);
    }
  }
  EXPECT_EQ(pubs.size(), c.size());
  EXPECT_EQ(appls.size(), c.size());
}

TEST(Corpus, OffersTheVarietyClientsMustHandle) {
  int english = 0, lines = 0, semicolons = 0, ampersand = 0;
  std::set<char> kinds;
  for (const Patent& p : corpus()) {
    english += !p.english_title.empty();
    lines += p.layout == Applicant_Layout::lines;
    semicolons += p.layout == Applicant_Layout::semicolons;
    for (const auto& a : p.applicants) ampersand += a.find('&') != std::string::npos;
    kinds.insert(p.publication_number.back());
  }
  EXPECT_GT(english, 1000);
  EXPECT_LT(english, 4000);
  EXPECT_GT(lines, 100);
  EXPECT_GT(semicolons, 100);
  EXPECT_GT(ampersand, 50);
  EXPECT_EQ(kinds, (std::set<char>{'A', 'B', 'U'}));
}

TEST(Matcher, KnownCountsForCommonAndRareTerms) {
  EXPECT_EQ(matcher().search("裝置").size(), 2250u);
  EXPECT_EQ(matcher().search("方法").size(), 1500u);
  for (const Rare_Term& rare : rare_terms()) {
    EXPECT_EQ(matcher().search(rare.term).size(), static_cast<size_t>(rare.hits)) << rare.term;
  }
  const auto small = generate_corpus(12, 3);
  EXPECT_EQ(Matcher(small).search("石墨烯").size(), 12u);
  EXPECT_EQ(Matcher(small).search("鈣鈦礦").size(), 1u);
}

TEST(Matcher, TermsAreAndedCaseInsensitiveAndSplitOnAnySpace) {
  const auto both = matcher().search("裝置 方法");
  const auto both_ideographic = matcher().search("\xE3\x80\x80裝置\xE3\x80\x80方法\t");
  EXPECT_EQ(both.size(), 500u);  // the "裝置及方法" titles
  EXPECT_EQ(both, both_ideographic);
  EXPECT_EQ(matcher().search("lidar"), matcher().search("LIDAR"));
  EXPECT_EQ(matcher().search("lidar").size(), 7u);
  EXPECT_TRUE(std::is_sorted(both.begin(), both.end()));

  const auto display = matcher().search("display");
  ASSERT_FALSE(display.empty());
  for (size_t i : display) {
    EXPECT_NE(text::ascii_lower(corpus()[i].english_title).find("display"), std::string::npos);
  }
}

TEST(Matcher, NoTermsNoHits) {
  EXPECT_TRUE(matcher().search("").empty());
  EXPECT_TRUE(matcher().search(" \t\xE3\x80\x80 ").empty());
  EXPECT_TRUE(matcher().search("不存在的詞").empty());
  EXPECT_EQ(split_terms("  a\xE3\x80\x80" "b  c "), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace travo::patent_site
