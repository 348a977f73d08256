// Replacement execution on testdata/body.docx and testdata/cells.docx (see
// make_fixtures.py for their content).

#include <gtest/gtest.h>

#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/table.h"
#include "travo/docx/xml.h"
#include "quire_model/document.h"
#include "test_support.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using test_support::count;
using test_support::Scoped_Env;
using test_support::testdata;

enum Body_Paragraph {
  kName = 0, kTracked = 1, kSplit = 2, kLineBreak = 3, kTab = 4, kField = 5, kLink = 6,
  kEastAsian = 7, kBreakAfter = 8, kBreakBefore = 10, kBreakInside = 11, kDup = 12, kXY = 13,
  kPQ = 14, kRemark = 15,
};

std::vector<std::string> run_texts(const travo::docx::Paragraph& p) {
  std::vector<std::string> out;
  for (const travo::docx::Run& r : p.runs()) out.push_back(r.text());
  return out;
}

// Checks that `r` carries the default entry formatting.
void expect_default_run_format(const travo::docx::Run& r, travo::docx::Length size = travo::docx::Pt(8)) {
  EXPECT_EQ(r.font_name(), "Calibri");
  EXPECT_EQ(r.east_asia_font(), "標楷體");
  EXPECT_EQ(r.size(), size);
}

class BodyWalk : public ::testing::Test {
 protected:
  BodyWalk() : doc_(test_support::open_fixture("body.docx")) {}
  travo::docx::Paragraph paragraph(int i) { return doc_.doc->paragraphs().at(i); }
  std::string xml(int i) { return paragraph(i).xml(); }

  Quire_Model::Document doc_;
};

TEST_F(BodyWalk, RebuildsTheParagraphAsOneFormattedRun) {
  doc_.set("{{name}}", "王小明");
  doc_.execute_set();
  travo::docx::Paragraph p = paragraph(kName);
  ASSERT_EQ(run_texts(p), (std::vector<std::string>{"Name: 王小明 (end)"}));
  expect_default_run_format(p.runs()[0]);
  EXPECT_EQ(p.alignment(), travo::docx::Alignment::center);
  // Old run formatting goes, paragraph properties stay.
  EXPECT_EQ(count(xml(kName), "<w:b/>"), 0u);
  EXPECT_EQ(count(xml(kName), "<w:i/>"), 0u);
  EXPECT_EQ(p.left_indent(), travo::docx::Twips(567));
}

TEST_F(BodyWalk, ReplacesInsideTrackedChangesFieldsLinksAndSplitRuns) {
  doc_.set("{{ins}}", "I");
  doc_.set("{{gone}}", "G");
  doc_.set("{{split}}", "S");
  doc_.set("{{lb}}", "L");
  doc_.set("{{tab}}", "T");
  doc_.set("{{field}}", "F");
  doc_.set("{{link}}", "H");
  doc_.execute_set();
  EXPECT_EQ(paragraph(kTracked).text(), "Kept I text ends.");
  EXPECT_EQ(count(xml(kTracked), "w:ins"), 0u);
  EXPECT_EQ(count(xml(kTracked), "w:del"), 0u);
  EXPECT_EQ(count(test_support::document_xml(*doc_.doc), ">G<"), 0u);
  EXPECT_EQ(run_texts(paragraph(kSplit)), (std::vector<std::string>{"Split S here."}));
  // The accepted text has no line break, the plain one keeps the tab.
  EXPECT_EQ(paragraph(kLineBreak).text(), "Line oneL two");
  EXPECT_EQ(count(xml(kLineBreak), "<w:br"), 0u);
  EXPECT_EQ(paragraph(kTab).text(), "Tab\tT");
  EXPECT_EQ(count(xml(kTab), "<w:tab/>"), 1u);
  EXPECT_EQ(paragraph(kField).text(), "Page 1 of F");
  EXPECT_EQ(count(xml(kField), "fldChar"), 0u);
  EXPECT_EQ(paragraph(kLink).text(), "See H here.");
  EXPECT_EQ(count(xml(kLink), "hyperlink"), 0u);
}

TEST_F(BodyWalk, EastAsianTextGetsTheEastAsianFont) {
  doc_.set("{{申請人}}", "國立臺灣大學", {.new_font_name = "Times New Roman",
                                     .new_font_name_Chinese = "新細明體",
                                     .new_font_size = travo::docx::Pt(12)});
  doc_.execute_set();
  travo::docx::Paragraph p = paragraph(kEastAsian);
  EXPECT_EQ(p.text(), "申請人：國立臺灣大學。");
  // As saved: the rebuilt run carries the East Asian font by name.
  const std::string saved = test_support::document_xml(*doc_.doc);
  EXPECT_EQ(count(saved, "<w:rFonts w:ascii=\"Times New Roman\" w:hAnsi=\"Times New Roman\" "
                         "w:eastAsia=\"新細明體\"/>"), 1u);
  EXPECT_EQ(count(xml(kEastAsian), "<w:sz w:val=\"24\"/>"), 1u);
}

TEST_F(BodyWalk, PageBreaksComeBackWhereTheMarkersStood) {
  doc_.set("{{pb_after}}", "A");
  doc_.set("{{pb_before}}", "B");
  doc_.set("{{NA$$$page$$$ME}}", "C");
  doc_.execute_set();
  // "Break after A", break, then an empty run that still has the format.
  travo::docx::Paragraph after = paragraph(kBreakAfter);
  ASSERT_EQ(run_texts(after), (std::vector<std::string>{"Break after A", ""}));
  expect_default_run_format(after.runs()[1]);
  EXPECT_EQ(count(xml(kBreakAfter), "<w:t>Break after A</w:t><w:br w:type=\"page\"/></w:r>"), 1u);
  EXPECT_EQ(run_texts(paragraph(kBreakBefore)), (std::vector<std::string>{"", "After table B"}));
  EXPECT_EQ(count(xml(kBreakBefore), "<w:br w:type=\"page\"/>"), 1u);
  // A key holding the marker swallows the break.
  EXPECT_EQ(run_texts(paragraph(kBreakInside)), (std::vector<std::string>{"Before C after"}));
  EXPECT_EQ(count(xml(kBreakInside), "<w:br"), 0u);
}

TEST_F(BodyWalk, EveryOccurrenceIsReplacedAndTheTailKept) {
  doc_.set("{{dup}}", "a$$$page$$$b");
  doc_.execute_set();
  EXPECT_EQ(run_texts(paragraph(kDup)),
            (std::vector<std::string>{"a", "b and a", "b and tail"}));
  EXPECT_EQ(count(xml(kDup), "<w:br w:type=\"page\"/>"), 2u);
}

TEST_F(BodyWalk, AKeyGoneSinceTheSnapshotLeavesTheParagraphAlone) {
  // "XY" first: the paragraph becomes "one"; "X" passed the snapshot test
  // but no longer occurs, so the paragraph keeps "one".
  doc_.set("XY", "one", {.new_font_size = travo::docx::Pt(11)});
  doc_.set("X", "two");
  // "P" first: "PQ" becomes "p1Q"; "PQ" no longer occurs.
  doc_.set("P", "p1");
  doc_.set("PQ", "pq");
  doc_.execute_set();
  EXPECT_EQ(paragraph(kXY).text(), "one");
  EXPECT_EQ(paragraph(kXY).runs()[0].size(), travo::docx::Pt(11));
  EXPECT_EQ(paragraph(kPQ).text(), "p1Q");
}

TEST_F(BodyWalk, EmptyKeyChangesNothing) {
  const std::string before = test_support::document_xml(*doc_.doc);
  doc_.set("", "X");
  doc_.execute_set();
  EXPECT_EQ(test_support::document_xml(*doc_.doc), before);
}

TEST_F(BodyWalk, TheLastKeyInRegistryOrderFormatsTheParagraph) {
  doc_.set("{{name}}", "N", {.new_font_size = travo::docx::Pt(20), .new_alignment = travo::docx::Alignment::right});
  doc_.set("(end)", "E", {.new_font_size = travo::docx::Pt(9),
                          .left_indent = 12,
                          .line_spacing = 14.5,
                          .font_color = {{255, 0, 128}}});
  doc_.execute_set();
  travo::docx::Paragraph p = paragraph(kName);
  ASSERT_EQ(run_texts(p), (std::vector<std::string>{"Name: N E"}));
  const travo::docx::Run r = p.runs()[0];
  EXPECT_EQ(r.size(), travo::docx::Pt(9));
  EXPECT_EQ(r.color(), (std::array<std::uint8_t, 3>{255, 0, 128}));
  EXPECT_EQ(p.alignment(), travo::docx::Alignment::center);
  EXPECT_EQ(p.left_indent(), travo::docx::Pt(12));
  EXPECT_EQ(p.exact_line_spacing(), travo::docx::Pt(14.5));
}

// The same entries rebuilding many paragraphs, several keys per paragraph:
// each key works on the text the previous one left, the paragraph
// properties of every rebuilding entry stay, the last one formats the runs,
// and a value with a tab reads back through the runs it became.
TEST_F(BodyWalk, KeysAfterKeysInManyParagraphs) {
  doc_.set("{{a}}", "A1 {{b}}", {.new_font_size = travo::docx::Pt(9), .left_indent = 10});
  doc_.set("{{b}}", "B1", {.new_font_size = travo::docx::Pt(11)});
  doc_.set("{{t}}", "T\tT$$$page$$$U", {.new_font_size = travo::docx::Pt(13)});
  doc_.set("{{z}}", "Z", {.new_font_size = travo::docx::Pt(7)});
  const size_t first = doc_.doc->paragraphs().size();
  for (int round = 0; round < 2; ++round) {
    doc_.doc->add_paragraph("{{a}} {{b}} {{t}} {{z}}");
    doc_.doc->add_paragraph("x {{a}} y {{b}}");
    doc_.doc->add_paragraph("{{t}} {{a}}");
    doc_.doc->add_paragraph("{{t}} {{z}}");
  }
  doc_.execute_set();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const int at = static_cast<int>(first) + 4 * round;
    // Once a page break stands in the paragraph, it reads through its
    // markup, which keeps only text and page breaks: the tab is gone.
    travo::docx::Paragraph all = paragraph(at);
    EXPECT_EQ(run_texts(all), (std::vector<std::string>{"A1 B1 B1 TT", "U Z"}));
    EXPECT_EQ(all.runs()[1].size(), travo::docx::Pt(7));
    EXPECT_EQ(all.left_indent(), travo::docx::Pt(10));

    travo::docx::Paragraph two = paragraph(at + 1);
    EXPECT_EQ(run_texts(two), (std::vector<std::string>{"x A1 B1 y B1"}));
    EXPECT_EQ(two.runs()[0].size(), travo::docx::Pt(11));
    EXPECT_EQ(two.left_indent(), travo::docx::Pt(10));

    // "{{b}}" came in after the snapshot, so it stays.
    travo::docx::Paragraph three = paragraph(at + 2);
    EXPECT_EQ(run_texts(three), (std::vector<std::string>{"T\tT", "U A1 {{b}}"}));
    EXPECT_EQ(three.runs()[0].size(), travo::docx::Pt(13));
    EXPECT_EQ(three.left_indent(), travo::docx::Pt(10));

    travo::docx::Paragraph four = paragraph(at + 3);
    EXPECT_EQ(run_texts(four), (std::vector<std::string>{"TT", "U Z"}));
    EXPECT_EQ(count(four.xml(), "<w:br w:type=\"page\"/>"), 1u);
    EXPECT_FALSE(four.left_indent());
  }
}

TEST_F(BodyWalk, AbsentOptionsLeaveThingsUnset) {
  doc_.set("{{name}}", "N",
           {.new_font_name = std::nullopt, .new_font_name_Chinese = std::nullopt,
            .new_font_size = std::nullopt, .new_alignment = std::nullopt});
  doc_.execute_set();
  travo::docx::Paragraph p = paragraph(kName);
  const travo::docx::Run r = p.runs().at(0);
  EXPECT_FALSE(r.font_name());
  EXPECT_FALSE(r.east_asia_font());
  EXPECT_FALSE(r.size());
  EXPECT_FALSE(p.alignment());  // the template's "end" is gone too
  EXPECT_EQ(count(xml(kName), "w:jc"), 0u);
}

TEST_F(BodyWalk, RemarkMarkerStaysLiteralInTheBody) {
  doc_.set("{{body_remark}}", "m__remark__r");
  doc_.execute_set();
  EXPECT_EQ(run_texts(paragraph(kRemark)), (std::vector<std::string>{"Remark m__remark__r"}));
}

TEST_F(BodyWalk, RefusedValuesReachTheCallerAfterEarlierChanges) {
  doc_.set("{{name}}", "ok");
  doc_.set("{{lb}}", "bad", {.font_color = {{300, 0, 0}}});
  EXPECT_THROW(doc_.execute_set(), travo::docx::Error);
  EXPECT_EQ(paragraph(kName).text(), "Name: ok (end)");
}

TEST_F(BodyWalk, TextBoxesAreNotReplaced) {
  doc_.set("{{textbox}}", "T");
  doc_.execute_set();
  EXPECT_EQ(count(test_support::document_xml(*doc_.doc), "{{textbox}}"), 2u);  // drawing and fallback
}

// Word keeps a text box twice, as DrawingML and as VML; a rebuilt anchor
// paragraph carries its text once.
TEST(BodyWalkTextBox, RebuiltParagraphTakesTheTextBoxTextOnce) {
  Quire_Model::Document doc = test_support::open_fixture("textbox.docx");
  doc.set("{{tb}}", "X");
  doc.execute_set();
  const travo::docx::Paragraph p = doc.doc->paragraphs().at(0);
  EXPECT_EQ(run_texts(p), (std::vector<std::string>{
                              "Words inside a text box frame.Paragraph that holds a text box and X",
                              "after the break."}));
  EXPECT_EQ(count(p.xml(), "Words inside"), 1u);
}

TEST(BodyWalkHeader, HeadersAreNotReplaced) {
  Quire_Model::Document doc = test_support::open_fixture("header.docx");
  doc.set("{{name}}", "N");
  doc.execute_set();
  EXPECT_EQ(doc.doc->paragraphs()[0].text(), "Body N");
  bool header_seen = false;
  for (const std::string& part : doc.doc->package().part_names()) {
    if (part.find("header") == std::string::npos) continue;
    header_seen = true;
    EXPECT_NE(doc.doc->package().part_data(part).find("Header {{name}}"), std::string::npos);
  }
  EXPECT_TRUE(header_seen);
}

class CellWalk : public ::testing::Test {
 protected:
  CellWalk() : doc_(test_support::open_fixture("cells.docx")) {}
  travo::docx::Cell cell(int table, int row, int column) {
    return doc_.doc->tables().at(table).cell(row, column);
  }

  Quire_Model::Document doc_;
};

// A replacement holding its own key shows how often a cell was visited.
TEST_F(CellWalk, MergedCellsAreVisitedOnce) {
  doc_.set("{{span}}", "{{span}}10");
  doc_.set("{{vm}}", "{{vm}}10");
  doc_.execute_set();
  // Spans three grid columns.
  for (int column = 0; column < 3; ++column) EXPECT_EQ(cell(0, 0, column).text(), "{{span}}10");
  // Spans rows 2 and 3.
  EXPECT_EQ(cell(0, 2, 1).text(), "{{vm}}10");
  EXPECT_EQ(cell(0, 3, 1), cell(0, 2, 1));
  // Each call is a walk of its own.
  doc_.execute_set();
  EXPECT_EQ(cell(0, 0, 0).text(), "{{span}}1010");
  EXPECT_EQ(cell(0, 2, 1).text(), "{{vm}}1010");
}

TEST_F(CellWalk, CellBecomesOneParagraphWithTheEntryFormat) {
  doc_.set("{{multi}}", "M", {.new_alignment = travo::docx::Alignment::right, .left_indent = 6});
  doc_.set("{{dup}}", "d");
  doc_.set("{{cellpb}}", "x$$$page$$$y");
  doc_.execute_set();
  travo::docx::Cell multi = cell(0, 2, 0);
  ASSERT_EQ(multi.paragraphs().size(), 1u);
  EXPECT_EQ(multi.text(), "first line\nM");
  const travo::docx::Paragraph q = multi.paragraphs()[0];
  ASSERT_EQ(q.runs().size(), 1u);
  expect_default_run_format(q.runs()[0]);
  EXPECT_EQ(q.alignment(), travo::docx::Alignment::right);
  EXPECT_EQ(q.left_indent(), travo::docx::Pt(6));
  EXPECT_EQ(cell(0, 2, 2).text(), "d d!");
  EXPECT_EQ(cell(0, 1, 2).text(), "x$$$page$$$y");
  EXPECT_EQ(count(cell(0, 1, 2).paragraphs()[0].xml(), "<w:br"), 0u);
}

TEST_F(CellWalk, RemarkTextGetsARunOfItsOwn) {
  doc_.set("{{remark}}", "主文__remark__備註",
           {.new_font_size = travo::docx::Pt(10), .font_color = {{0, 0, 255}},
            .remark_new_font_size = travo::docx::Pt(6)});
  doc_.set("{{remark2}}", "a__remark__b__remark__c");
  doc_.execute_set();
  const travo::docx::Paragraph q = cell(0, 1, 0).paragraphs().at(0);
  ASSERT_EQ(run_texts(q), (std::vector<std::string>{"主文", "備註"}));
  expect_default_run_format(q.runs()[0], travo::docx::Pt(10));
  expect_default_run_format(q.runs()[1], travo::docx::Pt(6));
  EXPECT_EQ(q.runs()[1].color(), (std::array<std::uint8_t, 3>{0, 0, 255}));
  // Further markers go; their text stays in the remark run.
  EXPECT_EQ(run_texts(cell(0, 1, 1).paragraphs().at(0)), (std::vector<std::string>{"a", "bc"}));
}

TEST_F(CellWalk, NestedTablesAreNotVisited) {
  doc_.set("{{nested}}", "N");
  doc_.execute_set();
  EXPECT_EQ(count(test_support::document_xml(*doc_.doc), "{{nested}}"), 1u);
}

// The extents of the pictures in `c`, as (cx, cy) pairs.
std::vector<std::pair<long, long>> extents(const travo::docx::Cell& c) {
  std::vector<std::pair<long, long>> out;
  const travo::docx::Xml_Document tc = travo::docx::Xml_Document::parse(c.xml());
  for (const travo::docx::Xml_Element& e : tc.root().descendants(travo::docx::ns::kWp, "extent"))
    out.emplace_back(std::stol(e.attribute("cx").value()), std::stol(e.attribute("cy").value()));
  return out;
}

TEST_F(CellWalk, PicturesAreFittedIntoTheBoxKeepingTheirProportions) {
  const char* pictures[] = {"800x600.png", "400x100.png", "30x20.png", "2x1.png", "50x100.jpg"};
  for (int i = 0; i < 5; ++i) {
    doc_.set("{{pic" + std::to_string(i + 1) + "}}", "P" + std::to_string(i + 1),
             {.image_path = testdata("images/" + std::string(pictures[i])).string(),
              .image_height = 2,
              .image_width = 3});
  }
  ::testing::internal::CaptureStdout();
  doc_.execute_set();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  const std::pair<long, long> expected[] = {
      {2438400, 1828800},  // 800 x 600 -> 2.667 x 2 in
      {2743200, 685800},   // 400 x 100 -> 3 x 0.75 in
      {2743200, 1828800},  // 30 x 20 -> 3 x 2 in
      {2743200, 1371600},  // 2 x 1 -> 3 x 1.5 in
      {914400, 1828800},   // 50 x 100 -> 1 x 2 in
  };
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(pictures[i]);
    const auto got = extents(cell(1, 0, i));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0].first, expected[i].first, 1);
    EXPECT_NEAR(got[0].second, expected[i].second, 1);
    // The text run first, then the picture's run; centred paragraph.
    const travo::docx::Paragraph q = cell(1, 0, i).paragraphs().at(0);
    EXPECT_EQ(run_texts(q), (std::vector<std::string>{"P" + std::to_string(i + 1), ""}));
    EXPECT_EQ(q.alignment(), travo::docx::Alignment::center);
  }
}

// Each placement of a missing picture prints a line, so the lines count
// the placements.
TEST_F(CellWalk, MergedCellsGetTheirPictureOnce) {
  const std::string missing = testdata("images/missing.png").string();
  doc_.set("{{span}}", "{{span}}10", {.image_path = missing, .image_height = 1, .image_width = 2});
  doc_.set("{{vm}}", "{{vm}}10", {.image_path = missing, .image_height = 1, .image_width = 2});
  test_support::Capture_Stdout out;
  doc_.execute_set();
  EXPECT_EQ(count(out.text(), "execute_set設定照片錯誤 --> "), 2u) << out.text();

  Quire_Model::Document placed = test_support::open_fixture("cells.docx");
  const std::string picture = testdata("images/2x1.png").string();
  placed.set("{{span}}", "{{span}}10", {.image_path = picture, .image_height = 1, .image_width = 2});
  placed.set("{{vm}}", "{{vm}}10", {.image_path = picture, .image_height = 1, .image_width = 2});
  placed.execute_set();
  const travo::docx::Table merged = placed.doc->tables().at(0);
  EXPECT_EQ(extents(merged.cell(0, 0)).size(), 1u);
  EXPECT_EQ(extents(merged.cell(2, 1)).size(), 1u);
}

TEST_F(CellWalk, PicturesWithoutFixedRatioUseWhatTheBoxGives) {
  const std::string picture = testdata("images/800x600.png").string();
  doc_.set("{{pic1}}", "", {.image_path = picture, .image_height = 1, .image_width = 3,
                            .image_fixed_ratio = false});
  doc_.set("{{pic2}}", "", {.image_path = picture, .image_width = 2, .image_fixed_ratio = false});
  doc_.set("{{pic3}}", "", {.image_path = picture, .image_height = 3, .image_fixed_ratio = false});
  doc_.set("{{pic4}}", "", {.image_path = picture, .image_fixed_ratio = false});
  doc_.execute_set();
  EXPECT_EQ(extents(cell(1, 0, 0)), (std::vector<std::pair<long, long>>{{2743200, 914400}}));
  EXPECT_EQ(extents(cell(1, 0, 1)), (std::vector<std::pair<long, long>>{{1828800, 1371600}}));
  EXPECT_EQ(extents(cell(1, 0, 2)), (std::vector<std::pair<long, long>>{{3657600, 2743200}}));
  // Native size at 96 pixels per inch.
  EXPECT_EQ(extents(cell(1, 0, 3)), (std::vector<std::pair<long, long>>{{7620000, 5715000}}));
}

TEST_F(CellWalk, PictureThatCannotBePlacedIsReportedAndSkipped) {
  doc_.set("{{pic1}}", "missing", {.image_path = testdata("images/missing.png").string(),
                                   .image_height = 2, .image_width = 3});
  doc_.set("{{pic2}}", "not a picture", {.image_path = testdata("images/not_a_picture.png").string(),
                                         .image_height = 2, .image_width = 3});
  doc_.set("{{pic3}}", "no box", {.image_path = testdata("images/2x1.png").string()});
  ::testing::internal::CaptureStdout();
  doc_.execute_set();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count(out, "execute_set設定照片錯誤 --> "), 3u);
  EXPECT_EQ(count(out, "\n"), 3u);
  EXPECT_EQ(out.rfind("execute_set設定照片錯誤 --> ", 0), 0u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(extents(cell(1, 0, i)).empty());
    const travo::docx::Paragraph q = cell(1, 0, i).paragraphs().at(0);
    expect_default_run_format(q.runs().at(0));
    EXPECT_EQ(q.alignment(), travo::docx::Alignment::center);
  }
  EXPECT_EQ(cell(1, 0, 0).text(), "missing");
  // The box is checked before a run is added for the picture.
  EXPECT_EQ(run_texts(cell(1, 0, 2).paragraphs().at(0)), (std::vector<std::string>{"no box"}));
}

TEST_F(CellWalk, PicturePathsUnderCorvanaAreMapped) {
  Scoped_Env env("CORVANA_ROOT", testdata("").string());
  doc_.set("{{pic1}}", "", {.image_path = "C:/corvana/images/2x1.png", .image_height = 2,
                            .image_width = 3});
  doc_.execute_set();
  EXPECT_EQ(extents(cell(1, 0, 0)).size(), 1u);
}

}  // namespace
}  // namespace quire_model
