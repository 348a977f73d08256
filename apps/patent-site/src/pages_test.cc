#include "travo/patent_site/pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace travo::patent_site {
namespace {

size_t occurrences(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string_view::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

Patent patent(std::vector<std::string> applicants, Applicant_Layout layout) {
  Patent p;
  p.publication_number = "TWI812345B";
  p.title = "電池裝置";
  p.english_title = "Battery Device";
  p.application_date = "2021/03/04";
  p.publication_date = "2022/09/01";
  p.application_number = "110108765";
  p.applicants = std::move(applicants);
  p.layout = layout;
  return p;
}

TEST(Pages, ApplicantCellsAndWhatTheApplicantRuleReadsFromThem) {
  const Patent lines3 = patent({"甲股份有限公司", "乙大學", "丙研究院"}, Applicant_Layout::lines);
  const std::string markup = applicant_cell_markup(lines3);
  EXPECT_NE(markup.find("甲股份有限公司<br>\n"), std::string::npos);
  EXPECT_NE(markup.find("丙研究院<br>\n"), std::string::npos) << "trailing break, empty last line";
  EXPECT_EQ(extracted_applicant(lines3), "甲股份有限公司\n乙大學\n丙研究院");

  const Patent lines2 = patent({"甲股份有限公司", "己 & 庚有限公司"}, Applicant_Layout::lines);
  EXPECT_NE(applicant_cell_markup(lines2).find("己 &amp; 庚有限公司"), std::string::npos);
  EXPECT_EQ(extracted_applicant(lines2), "甲股份有限公司\n己 &amp");

  const Patent semi = patent({"甲股份有限公司", "乙大學"}, Applicant_Layout::semicolons);
  EXPECT_EQ(applicant_cell_markup(semi), "甲股份有限公司;乙大學");
  EXPECT_EQ(extracted_applicant(semi), "甲股份有限公司");

  const Patent semi3 = patent({"甲", "乙", "丙"}, Applicant_Layout::semicolons);
  EXPECT_EQ(applicant_cell_markup(semi3), "甲; 乙; 丙");
  EXPECT_EQ(extracted_applicant(semi3), "甲");

  const Patent single = patent({"Smith & Lee Co., Ltd."}, Applicant_Layout::single);
  EXPECT_EQ(applicant_cell_markup(single), "Smith &amp; Lee Co., Ltd.");
  EXPECT_EQ(extracted_applicant(single), "Smith &amp");
}

TEST(Pages, ResultPageFaultsChangeOnlyWhatTheyName) {
  const Patent a = patent({"甲股份有限公司"}, Applicant_Layout::single);
  const std::vector<const Patent*> hits{&a, &a, &a};
  Result_View view;
  view.action = "travobkm?@@0.1234";
  view.viewstate = "vs";
  view.info = "INFOVALUE";
  view.count_text = "1,234";
  view.total_hits = 3;
  view.hits = hits;

  const std::string normal = result_page(view);
  EXPECT_EQ(occurrences(normal, "target=\"_blank\">TWI812345B</a></td>"), 3u);
  EXPECT_EQ(occurrences(normal, "<div class=\"divsum_TI\">"), 3u);
  EXPECT_EQ(occurrences(normal, "<input type=\"hidden\" name=\"INFO\" value=\"INFOVALUE\" />"), 1u);
  EXPECT_NE(normal.find("<font class=\"numfmt\">1,234</font>"), std::string::npos);
  EXPECT_EQ(normal.find("\xB4\xFA\xB8\xD5"), std::string::npos);

  view.drop_last_title = true;
  view.invalid_utf8 = true;
  view.show_count = false;
  const std::string faulty = result_page(view);
  EXPECT_EQ(occurrences(faulty, "target=\"_blank\">TWI812345B</a></td>"), 3u);
  EXPECT_EQ(occurrences(faulty, "<div class=\"divsum_TI\">"), 2u);
  EXPECT_EQ(faulty.find("<font class=\"numfmt\">"), std::string::npos);
  EXPECT_NE(faulty.find("\xB4\xFA\xB8\xD5"), std::string::npos);

  const std::string error = error_page(403, "no <session>");
  EXPECT_EQ(error.find("<form"), std::string::npos);
  EXPECT_NE(error.find("no &lt;session&gt;"), std::string::npos);
}

TEST(Pages, CountFormats) {
  EXPECT_EQ(format_count(5123, false), "5123");
  EXPECT_EQ(format_count(5123, true), "5,123");
  EXPECT_EQ(format_count(1234567, true), "1,234,567");
  EXPECT_EQ(format_count(999, true), "999");
  EXPECT_EQ(format_count(0, true), "0");
}

}  // namespace
}  // namespace travo::patent_site
