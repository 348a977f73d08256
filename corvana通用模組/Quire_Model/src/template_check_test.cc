// check_template on templates written by other producers:
// testdata/template_lo.docx (LibreOffice) and template_pydocx.docx
// (python-docx), both made by testdata/make_template_check_fixtures.py,
// whose docstring lists what stands where.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "placeholder_pattern.h"
#include "quire_model/document.h"
#include "test_support.h"
#include "travo/docx/table.h"

namespace quire_model {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using P = Template_Place;

// Every part of the package, as it would be saved now.
std::map<std::string, std::string> all_parts(travo::docx::Document& d) {
  std::map<std::string, std::string> out;
  d.package().mark_modified(d.main_part_name());
  for (const std::string& name : d.package().part_names()) out[name] = d.package().part_data(name);
  return out;
}

// The text execute_set leaves where it reads: body paragraphs and cells.
std::string filled_text(Quire_Model::Document& doc) {
  std::string out;
  for (const std::string& t : doc.show_all_text()) out += t + "\n";
  for (const travo::docx::Table& table : doc.doc->tables())
    for (const travo::docx::Row& row : table.rows())
      for (const travo::docx::Cell& cell : row.cells()) out += cell.text() + "\n";
  return out;
}

void register_all(Quire_Model::Document& doc, const std::vector<std::string>& keys) {
  for (size_t i = 0; i < keys.size(); ++i) doc.set(keys[i], "<filled " + std::to_string(i) + ">");
}

const std::vector<std::string> kLibreOfficeKeys = {
    "{{發明人}}", "{{申請人}}", "{{案號}}", "{{網址}}", "{{日期}}", "{{表格}}", "{{頁首}}",
    "{{頁尾}}",  "{{方塊}}",  "{{巢狀}}", "{{註腳}}", "{{刪除}}", "{{不存在}}"};

TEST(TemplateCheck, LibreOfficeTemplateAsTheReaderSeesIt) {
  Quire_Model::Document doc = test_support::open_fixture("template_lo.docx");
  register_all(doc, kLibreOfficeKeys);
  const Template_Check check = doc.check_template();
  // Split over five runs (three formats), inside tracked insertions and a
  // hyperlink: found. Only in a tracked deletion: not there at all.
  EXPECT_THAT(check.unused_keys, ElementsAre("{{刪除}}", "{{不存在}}"));
  // In the body and in the footer: execute_set finds it, so no finding.
  EXPECT_THAT(check.misplaced_keys,
              ElementsAre(Misplaced_Key{"{{頁首}}", {P::header}}, Misplaced_Key{"{{頁尾}}", {P::footer}},
                          Misplaced_Key{"{{方塊}}", {P::text_box}},
                          Misplaced_Key{"{{巢狀}}", {P::nested_table}},
                          Misplaced_Key{"{{註腳}}", {P::footnote}}));
  EXPECT_THAT(check.unregistered_placeholders, ElementsAre("{{未知欄位}}"));
  EXPECT_THAT(template_check_lines(check),
              ElementsAre("未使用的鍵：{{刪除}}", "未使用的鍵：{{不存在}}", "只出現在頁首的鍵：{{頁首}}",
                          "只出現在頁尾的鍵：{{頁尾}}", "只出現在文字方塊的鍵：{{方塊}}",
                          "只出現在巢狀表格的鍵：{{巢狀}}", "只出現在註腳的鍵：{{註腳}}",
                          "未登記的佔位符：{{未知欄位}}"));
}

TEST(TemplateCheck, PythonDocxTemplateWithAKeyOverThreeRuns) {
  Quire_Model::Document doc = test_support::open_fixture("template_pydocx.docx");
  register_all(doc, {"{{發明人}}", "{{表格}}", "{{巢狀}}", "{{頁首}}", "{{頁尾}}"});
  const Template_Check check = doc.check_template();
  EXPECT_THAT(check.unused_keys, IsEmpty());
  EXPECT_THAT(check.misplaced_keys,
              ElementsAre(Misplaced_Key{"{{巢狀}}", {P::nested_table}}, Misplaced_Key{"{{頁首}}", {P::header}},
                          Misplaced_Key{"{{頁尾}}", {P::footer}}));
  EXPECT_THAT(check.unregistered_placeholders, ElementsAre("{{未登記}}"));
}

// What the check calls found is what execute_set replaces, and what it
// calls misplaced or unused is left alone.
TEST(TemplateCheck, AgreesWithWhatExecuteSetReplaces) {
  for (const char* fixture : {"template_lo.docx", "template_pydocx.docx"}) {
    SCOPED_TRACE(fixture);
    Quire_Model::Document doc = test_support::open_fixture(fixture);
    register_all(doc, kLibreOfficeKeys);
    const Template_Check check = doc.check_template();
    doc.execute_set();
    const std::string filled = filled_text(doc);
    for (size_t i = 0; i < kLibreOfficeKeys.size(); ++i) {
      const std::string& key = kLibreOfficeKeys[i];
      bool found = std::find(check.unused_keys.begin(), check.unused_keys.end(), key) == check.unused_keys.end();
      for (const Misplaced_Key& m : check.misplaced_keys) found = found && m.key != key;
      EXPECT_EQ(filled.find("<filled " + std::to_string(i) + ">") != std::string::npos, found) << key;
    }
  }
}

TEST(TemplateCheck, EmptyRegistryListsEveryPlaceholderOnceInDocumentOrder) {
  Quire_Model::Document doc = test_support::open_fixture("template_lo.docx");
  const Template_Check check = doc.check_template();
  EXPECT_THAT(check.unused_keys, IsEmpty());
  EXPECT_THAT(check.misplaced_keys, IsEmpty());
  EXPECT_THAT(check.unregistered_placeholders,
              ElementsAre("{{發明人}}", "{{申請人}}", "{{案號}}", "{{網址}}", "{{未知欄位}}", "{{方塊}}",
                          "{{日期}}", "{{表格}}", "{{巢狀}}", "{{頁首}}", "{{頁尾}}", "{{註腳}}"));
}

TEST(TemplateCheck, AKeyInsideAPlaceholderCoversIt) {
  Quire_Model::Document doc = test_support::open_fixture("template_pydocx.docx");
  doc.set("未登記", "x");
  doc.set("", "empty keys are never replaced");
  const Template_Check check = doc.check_template();
  EXPECT_THAT(check.unused_keys, ElementsAre(""));
  EXPECT_EQ(std::count(check.unregistered_placeholders.begin(), check.unregistered_placeholders.end(),
                       "{{未登記}}"),
            0);
  EXPECT_EQ(template_check_lines(Template_Check{}), std::vector<std::string>{"範本檢查沒有發現問題"});
}

TEST(TemplateCheck, PatternIsAnOption) {
  Quire_Model::Document doc = test_support::open_fixture("template_lo.docx");
  Template_Check_Options options;
  options.placeholder_pattern = R"(\{\{未[^}]*\}\})";
  EXPECT_THAT(doc.check_template(options).unregistered_placeholders, ElementsAre("{{未知欄位}}"));
  options.placeholder_pattern = "({{";
  EXPECT_THROW(doc.check_template(options), std::invalid_argument);
}

TEST(TemplateCheckState, NeedsAnOpenDocument) {
  Quire_Model::Document doc;
  EXPECT_THROW(doc.check_template(), std::logic_error);
}

// The check reads only: every part, bytes and all, is as it was.
TEST(TemplateCheckReadsOnly, DocumentIsByteIdenticalAfterwards) {
  for (const char* fixture : {"template_lo.docx", "template_pydocx.docx", "body.docx", "cells.docx",
                              "textbox.docx", "header.docx"}) {
    SCOPED_TRACE(fixture);
    Quire_Model::Document doc = test_support::open_fixture(fixture);
    register_all(doc, kLibreOfficeKeys);
    const auto before = all_parts(*doc.doc);
    doc.check_template();
    Template_Check_Options options;
    options.placeholder_pattern = "[A-Z]+";
    doc.check_template(options);
    EXPECT_TRUE(all_parts(*doc.doc) == before);
  }
}

// The hand scanner of the default pattern finds what std::regex finds.
TEST(PlaceholderPattern, DefaultScannerMatchesTheRegex) {
  const std::regex regex(std::string(Template_Check_Options::kDefaultPattern));
  std::mt19937 random(20260112);
  const std::string alphabet = "{}a";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 14, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::vector<std::string> expected;
    for (std::sregex_iterator it(text.begin(), text.end(), regex), end; it != end; ++it)
      expected.push_back(it->str());
    ASSERT_EQ(find_double_braced(text), expected) << text;
  }
}

TEST(PlaceholderPattern, LongTextsAreSafe) {
  // A brace-free run the regex engine would recurse over character by
  // character.
  const std::string long_text = "{{" + std::string(300000, 'a') + "}} {{b}}";
  EXPECT_EQ(Placeholder_Pattern(std::string(Template_Check_Options::kDefaultPattern)).find_all(long_text).size(),
            2u);
  // Another pattern sees a long text in windows: a placeholder near the
  // end, and one across a window's edge, are found once each.
  std::string text(50000, 'x');
  text.replace(Placeholder_Pattern::kWindow - 3, 6, "<<k>>!");
  text.replace(49990, 5, "<<e>>");
  const std::vector<std::string> found = Placeholder_Pattern("<<[a-z]>>").find_all(text);
  EXPECT_EQ(std::count(found.begin(), found.end(), "<<k>>"), 1);
  EXPECT_EQ(std::count(found.begin(), found.end(), "<<e>>"), 1);
}

}  // namespace
}  // namespace quire_model
