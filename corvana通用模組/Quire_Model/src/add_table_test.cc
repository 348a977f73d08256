// The patent table builder on testdata/patent_grid.docx (a LibreOffice page
// with Word's "Table Grid" style added) and testdata/patent.docx (without).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <variant>

#include "travo/docx/error.h"
#include "travo/docx/table.h"
#include "quire_model/document.h"
#include "test_support.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using ::testing::HasSubstr;
using test_support::Capture_Stdout;
using test_support::count;
using test_support::testdata;

std::string picture(const std::string& name) { return testdata("images/" + name).string(); }

// Twips as the document stores them.
long twips(double centimetres) { return static_cast<long>(travo::docx::Cm(centimetres).twips()); }

struct Extent {
  long cx = 0, cy = 0;
};

// The extents of the pictures in `xml`, in order.
std::vector<Extent> extents(const std::string& xml) {
  std::vector<Extent> out;
  const std::regex re(R"re(<wp:extent cx="(\d+)" cy="(\d+)"/>)re");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator(); ++it)
    out.push_back({std::stol((*it)[1]), std::stol((*it)[2])});
  return out;
}

bool is_page_break_paragraph(const travo::docx::Block& block) {
  const auto* p = std::get_if<travo::docx::Paragraph>(&block);
  return p && p->text().empty() && count(p->xml(), "<w:br w:type=\"page\"/>") == 1;
}

class AddTable : public ::testing::Test {
 protected:
  AddTable() : doc_(test_support::open_fixture("patent_grid.docx")) {}
  travo::docx::Document& d() { return *doc_.doc; }
  travo::docx::Table last_table() { return d().tables().back(); }

  Quire_Model::Document doc_;
};

TEST_F(AddTable, WithoutArgumentsBuildsTheEmptyLayoutAndABreak) {
  const size_t blocks_before = d().blocks().size();
  Capture_Stdout out;
  doc_._add_table();
  EXPECT_EQ(out.text(), "");

  const std::vector<travo::docx::Block> blocks = d().blocks();
  ASSERT_EQ(blocks.size(), blocks_before + 2);
  ASSERT_TRUE(std::holds_alternative<travo::docx::Table>(blocks[blocks.size() - 2]));
  EXPECT_TRUE(is_page_break_paragraph(blocks.back()));

  travo::docx::Table t = last_table();
  EXPECT_EQ(t.style(), "Table Grid");
  const std::vector<travo::docx::Row> rows = t.rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].cell(0).text(), "專利編號");
  EXPECT_EQ(rows[0].cell(1).text(), "專利名稱");
  EXPECT_EQ(rows[0].cell(2).text(), "關聯性");
  for (int c = 0; c < 3; ++c) EXPECT_EQ(rows[1].cell(c).text(), "") << c;
  // "摘要：" on a line of its own: one paragraph, a line break, nothing.
  ASSERT_EQ(rows[2].cell(0).paragraphs().size(), 1u);
  EXPECT_EQ(rows[2].cell(0).text(), "摘要：\n");
  EXPECT_EQ(rows[3].cell(0).text(), "");
  for (const travo::docx::Row& row : rows) {
    for (const travo::docx::Cell& cell : row.cells())
      EXPECT_EQ(cell.vertical_alignment(), travo::docx::Vertical_Alignment::center);
  }
  const double heights[] = {0.8, 0.8, 8, 10};
  for (int r = 0; r < 4; ++r) {
    ASSERT_TRUE(rows[r].height());
    EXPECT_EQ(rows[r].height()->twips(), twips(heights[r])) << r;
  }
}

TEST_F(AddTable, MergesAndWidthsFollowTheOrderOfTheSteps) {
  doc_._add_table({.abstract = "一種裝置。", .PAPN = "TWI123456B", .title = "測試裝置"});
  travo::docx::Table t = last_table();
  const std::vector<travo::docx::Row> rows = t.rows();
  for (int r : {0, 1}) {
    EXPECT_EQ(rows[r].cells().size(), 3u);
    EXPECT_EQ(rows[r].cell(0).width()->twips(), twips(2)) << r;
    EXPECT_EQ(rows[r].cell(1).width()->twips(), twips(12.2)) << r;
    EXPECT_EQ(rows[r].cell(2).width()->twips(), twips(2)) << r;
  }
  // Merged before the widths: the three positions address one cell, which
  // ends with the last width given, 2 cm.
  EXPECT_EQ(rows[2].cell(0), rows[2].cell(2));
  EXPECT_EQ(rows[2].cell(0).grid_span(), 3);
  EXPECT_EQ(rows[2].cell(0).width()->twips(), twips(2));
  EXPECT_EQ(rows[2].cell(0).text(), "摘要：\n一種裝置。");
  // Merged after the widths: the sum of 2, 12.2 and 2 cm.
  EXPECT_EQ(rows[3].cell(0).grid_span(), 3);
  EXPECT_EQ(rows[3].cell(0).width()->twips(), twips(2) + twips(12.2) + twips(2));
  EXPECT_EQ(rows[1].cell(0).text(), "TWI123456B");
  EXPECT_EQ(rows[1].cell(1).text(), "測試裝置");

  // The same in the XML a word processor reads: the grid and each row.
  const std::string xml = t.xml();
  const std::string w2 = std::to_string(twips(2)), w12 = std::to_string(twips(12.2));
  EXPECT_THAT(xml, HasSubstr("<w:tblStyle w:val=\"TableGrid\"/>"));
  EXPECT_THAT(xml, HasSubstr("<w:tblGrid><w:gridCol w:w=\"" + w2 + "\"/><w:gridCol w:w=\"" + w12 +
                             "\"/><w:gridCol w:w=\"" + w2 + "\"/></w:tblGrid>"));
  EXPECT_EQ(count(xml, "<w:gridSpan w:val=\"3\"/>"), 2u);
  EXPECT_EQ(count(xml, "<w:tcW w:w=\"" + w2 + "\" w:type=\"dxa\"/>"), 2u * 2 + 1);
  EXPECT_EQ(count(xml, "<w:tcW w:w=\"" + w12 + "\" w:type=\"dxa\"/>"), 2u);
  EXPECT_EQ(count(xml, "<w:tcW w:w=\"" + std::to_string(2 * twips(2) + twips(12.2)) +
                           "\" w:type=\"dxa\"/>"),
            1u);
  EXPECT_EQ(count(xml, "<w:tc>"), 3u + 3u + 1u + 1u);
}

TEST_F(AddTable, PicturesMeetTheBoxByTheRatioRule) {
  doc_._add_table({.image_path = picture("2000x1000.png")});
  doc_._add_table({.image_path = picture("1300x1300.png")});
  // 1640 / 1300 is exactly the box's 16.4 / 13: counts as wide.
  doc_._add_table({.image_path = picture("1640x1300.png")});

  const std::vector<travo::docx::Table> tables = d().tables();
  ASSERT_EQ(tables.size(), 3u);
  const long box_width = travo::docx::Cm(16.4).emu(), box_height = travo::docx::Cm(13).emu();
  ASSERT_EQ(box_width, 5903999);
  std::vector<Extent> e;
  for (const travo::docx::Table& t : tables) {
    const std::vector<Extent> one = extents(t.xml());
    ASSERT_EQ(one.size(), 1u);
    e.push_back(one[0]);
    // Alone and centred in the merged last row.
    travo::docx::Cell cell = t.cell(3, 0);
    ASSERT_EQ(cell.paragraphs().size(), 1u);
    EXPECT_EQ(cell.paragraphs()[0].alignment(), travo::docx::Alignment::center);
    EXPECT_EQ(cell.grid_span(), 3);
  }
  EXPECT_EQ(e[0].cx, box_width);
  EXPECT_NEAR(e[0].cy, travo::docx::Cm(8.2).emu(), 1);  // 16.4 x 8.2 cm
  EXPECT_EQ(e[1].cy, box_height);
  EXPECT_EQ(e[1].cx, box_height);                 // 13 x 13 cm
  EXPECT_EQ(e[2].cx, box_width);
  EXPECT_NEAR(e[2].cy, box_height, 1);
}

TEST_F(AddTable, UnreadablePicturesAreReportedAndTheTableKept) {
  for (const std::string& name : {std::string("missing.png"), std::string("not_a_picture.png")}) {
    SCOPED_TRACE(name);
    const size_t tables_before = d().tables().size();
    Capture_Stdout out;
    doc_._add_table({.PAPN = "X", .image_path = picture(name)});
    // The reader's message, then the placing block's.
    const std::string text = out.text();
    EXPECT_EQ(count(text, "\n"), 2u) << text;
    EXPECT_THAT(text, HasSubstr(name));
    EXPECT_THAT(text, ::testing::EndsWith("\n插入圖片錯誤\n"));
    ASSERT_EQ(d().tables().size(), tables_before + 1);
    EXPECT_EQ(last_table().cell(1, 0).text(), "X");
    EXPECT_EQ(count(last_table().xml(), "<w:drawing>"), 0u);
    EXPECT_TRUE(is_page_break_paragraph(d().blocks().back()));
  }
}

TEST(AddTableStyle, MissingTableGridIsReportedOnceAndTheRestBuilt) {
  Quire_Model::Document doc = test_support::open_fixture("patent.docx");
  Capture_Stdout out;
  doc._add_table("摘要", "TW1", "名稱", 4, 3, picture("1300x1300.png"));
  EXPECT_EQ(out.text(), "無法設定格線\n");
  travo::docx::Table t = doc.doc->tables().back();
  EXPECT_EQ(t.style(), std::nullopt);
  EXPECT_EQ(t.cell(0, 0).text(), "專利編號");
  EXPECT_EQ(t.cell(1, 1).text(), "名稱");
  EXPECT_EQ(t.cell(2, 0).text(), "摘要：\n摘要");
  EXPECT_EQ(extents(t.xml()).size(), 1u);
}

// Numbers are written in their text form.
TEST_F(AddTable, CallsAppendTablesAndBreaksInCallOrder) {
  const size_t blocks_before = d().blocks().size();
  for (int papn : {1, 2, 3}) doc_._add_table({.PAPN = papn});
  const std::vector<travo::docx::Block> blocks = d().blocks();
  ASSERT_EQ(blocks.size(), blocks_before + 6);
  for (int i = 0; i < 3; ++i) {
    const travo::docx::Block& table = blocks[blocks_before + 2 * i];
    ASSERT_TRUE(std::holds_alternative<travo::docx::Table>(table));
    EXPECT_EQ(std::get<travo::docx::Table>(table).cell(1, 0).text(), std::to_string(i + 1));
    EXPECT_TRUE(is_page_break_paragraph(blocks[blocks_before + 2 * i + 1]));
  }
}

// Refused sizes and texts leave the document exactly as it was.
TEST_F(AddTable, FailuresLeaveTheDocumentUnchanged) {
  const std::string before = test_support::document_xml(d());
  EXPECT_THROW(doc_._add_table({.rows = 3}), std::invalid_argument);
  EXPECT_THROW(doc_._add_table({.cols = 2}), std::invalid_argument);
  EXPECT_THROW(doc_._add_table({.rows = 40000}), travo::docx::Error);
  EXPECT_THROW(doc_._add_table({.cols = 64}), travo::docx::Error);
  // A control character fails while the cells are filled; the half-built
  // table goes again.
  try {
    doc_._add_table({.abstract = "bad \x01 text", .image_path = picture("1300x1300.png")});
    ADD_FAILURE() << "no error";
  } catch (const travo::docx::Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("control character"));
  }
  EXPECT_EQ(test_support::document_xml(d()), before);
  // And the document still takes a table afterwards.
  doc_._add_table({.PAPN = "after"});
  EXPECT_EQ(last_table().cell(1, 0).text(), "after");
}

TEST(AddTableState, NeedsAnOpenDocument) {
  Quire_Model::Document doc;
  EXPECT_THROW(doc._add_table(), std::logic_error);
}

}  // namespace
}  // namespace quire_model
