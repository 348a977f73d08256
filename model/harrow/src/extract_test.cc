#include "travo/harrow/extract.h"

#include <gtest/gtest.h>

namespace travo::harrow {
namespace {

html::Document parse(const std::string& s) { return html::Document::parse(s); }

std::string applicant_of(const std::string& cell_inner) {
  auto doc = parse("<table><tr><td class=\"sumtd2_PA\">" + cell_inner + "</td></tr></table>");
  auto cell = doc.select_first("td.sumtd2_PA");
  EXPECT_TRUE(cell.has_value());
  return applicant_text(*cell);
}

TEST(ApplicantRule, LineBreaksKeepEveryApplicant) {
  EXPECT_EQ(applicant_of("甲股份有限公司<br>乙大學"), "甲股份有限公司\n乙大學");
  EXPECT_EQ(applicant_of("\n   甲公司 <BR/>\n\n  <br>  乙公司  \n "), "甲公司\n乙公司");
}

TEST(ApplicantRule, SemicolonKeepsTheFirstOnly) {
  EXPECT_EQ(applicant_of("甲公司;乙公司"), "甲公司");
  EXPECT_EQ(applicant_of("甲公司<br>乙公司;丙公司"), "甲公司\n乙公司");
}

TEST(ApplicantRule, ReferencesDecodedAndTagsDropped) {
  EXPECT_EQ(applicant_of("己 &amp; 庚<b>有限</b>公司"), "己 & 庚有限公司");
  EXPECT_EQ(applicant_of("<span>A&#x4E2D;B</span>&nbsp;"), "A中B");
  EXPECT_EQ(applicant_of("   "), "");
}

TEST(Extract, SixColumnsWithTitleAndTrimRules) {
  auto doc = parse(R"(<html><body><table>
    <tr><td class="sumtd2_PN"><a class="link02" href="#"> TWI800001B </a></td>
        <td><div class="divsum_TI">
             電池模組
             Battery Module</div></td>
        <td class="sumtd2_AD">&#x3000;2021/03/04 </td><td class="sumtd2_ID">2022/09/01</td>
        <td class="sumtd2_AN">110108765</td><td class="sumtd2_PA">甲公司<br>乙公司</td></tr>
    <tr><td class="sumtd2_PN"><span><a class="link02">TW202300002A</a></span></td>
        <td class="sumtd2_PN"><a class="link02">TW202300003A</a></td>
        <td><div class="divsum_TI">無英文標題</div></td></tr>
  </table><font class="numfmt"> 1,234 </font></body></html>)");
  Page_Data d = extract_hits(doc);
  // The span breaks the child combinator: only direct <a> children count.
  EXPECT_EQ(d.at("公開號"), (std::vector<std::string>{"TWI800001B", "TW202300003A"}));
  EXPECT_EQ(d.at("標題"), (std::vector<std::string>{"電池模組", "無英文標題"}));
  EXPECT_EQ(d.at("申請日"), (std::vector<std::string>{"2021/03/04"}));
  EXPECT_EQ(d.at("公開(公告)日").size(), 1u);
  EXPECT_EQ(d.at("申請人"), (std::vector<std::string>{"甲公司\n乙公司"}));
  EXPECT_EQ(find_count(doc), std::optional<std::string>("1,234"));
  EXPECT_THROW(d.at("其他"), std::out_of_range);
}

TEST(Extract, EmptyOrJunkPageGivesSixEmptyLists) {
  for (const char* page : {"", "<html>", "\x01\x02\xff garbage \x00 <<>>"}) {
    auto doc = parse(page);
    Page_Data d = extract_hits(doc);
    for (const auto& col : d.columns()) EXPECT_TRUE(col.empty());
    EXPECT_FALSE(find_count(doc).has_value());
  }
}

TEST(ResultForm, TheHiddenInfoInputInsideAFormMarksAResultPage) {
  EXPECT_TRUE(has_result_form(parse(
      R"(<form name="form1" action="travobkm?x"><div><table><tr><td>
         <input type="hidden" name="INFO" value=""></td></tr></table></div>
         <table class="sum"></table></form>)")));
  // A captcha form, a notice, an INFO input of another type or outside any
  // form: not the result form.
  EXPECT_FALSE(has_result_form(parse(
      R"(<title>安全驗證</title><form action="x"><input type="text" name="code">
         <input type="hidden" name="__VIEWSTATE" value="v"></form>)")));
  EXPECT_FALSE(has_result_form(parse("<title>系統維護中</title><p>維護中")));
  EXPECT_FALSE(has_result_form(parse(R"(<form><input type="text" name="INFO" value="1"></form>)")));
  EXPECT_FALSE(has_result_form(parse(R"(<form><input type="hidden" name="info"></form>)")));
  EXPECT_FALSE(has_result_form(parse(R"(<p><input type="hidden" name="INFO" value="1"></p>)")));
}

TEST(ParseCount, SeparatorsAreRemoved) {
  EXPECT_EQ(parse_count("57"), 57);
  EXPECT_EQ(parse_count("1,234"), 1234);
  EXPECT_EQ(parse_count("2，001"), 2001);
  EXPECT_EQ(parse_count(" 12 345 "), 12345);
  EXPECT_THROW(parse_count("abc"), std::invalid_argument);
  EXPECT_THROW(parse_count(""), std::invalid_argument);
  EXPECT_THROW(parse_count("12.5"), std::invalid_argument);
  EXPECT_THROW(parse_count("99999999999999999999999"), std::invalid_argument);
}

TEST(UnrecognisedPage, MessageNamesThePageAndTheTitleInBrackets) {
  EXPECT_EQ(unrecognised_page_message(1, std::nullopt),
            "檢索網站回覆了無法辨識的頁面（第 1 頁），可能網站維護中或已改版");
  EXPECT_EQ(unrecognised_page_message(4, std::string("請輸入驗證碼")),
            "檢索網站回覆了無法辨識的頁面（第 4 頁），可能網站維護中或已改版（請輸入驗證碼）");
}

TEST(UnrecognisedPage, TitleIsOneTrimmedLineOfBoundedLength) {
  EXPECT_EQ(page_title(parse("<html><head><title>\n  系統\t維護中 \r\n 請稍候　</title></head></html>")),
            std::optional<std::string>("系統 維護中 請稍候"));
  EXPECT_EQ(page_title(parse("<title>A &amp; B</title><p>x")), std::optional<std::string>("A & B"));
  EXPECT_EQ(page_title(parse("<p>no title</p>")), std::nullopt);
  EXPECT_EQ(page_title(parse("<title> \n </title>")), std::nullopt);
  std::string long_title;
  for (int i = 0; i < 100; ++i) long_title += "驗";
  const auto cut = page_title(parse("<title>" + long_title + "</title>"));
  ASSERT_TRUE(cut);
  std::string expected;
  for (size_t i = 0; i < kMaxTitleChars; ++i) expected += "驗";
  EXPECT_EQ(*cut, expected + "…");
}

}  // namespace
}  // namespace travo::harrow
