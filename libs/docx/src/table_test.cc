#include "travo/docx/table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unordered_set>

#include "travo/docx/document.h"
#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/xml.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using namespace test_support;

std::vector<std::string> row_texts(const Row& row) {
  std::vector<std::string> out;
  for (const Cell& c : row.cells()) out.push_back(c.text());
  return out;
}

TEST(TableTest, DeliversMergedCellsOncePerGridColumn) {
  Document doc = Document::open(testdata("tables.docx"));
  Table t = doc.tables()[0];
  ASSERT_EQ(t.rows().size(), 3u);
  EXPECT_EQ(t.column_count(), 3);
  EXPECT_THAT(row_texts(t.row(0)), ElementsAre("A1-B1", "A1-B1", "C1"));
  EXPECT_THAT(row_texts(t.row(1)), ElementsAre("A2", "B2\nB2 second line", "C2-C3"));
  // The vertical-merge continuation is delivered as the cell that starts it.
  EXPECT_THAT(row_texts(t.row(2)), ElementsAre("A3", "B3", "C2-C3"));
  EXPECT_EQ(t.cell(2, 2), t.cell(1, 2));
  EXPECT_EQ(t.cell(0, 0), t.cell(0, 1));
  EXPECT_EQ(t.cell(0, 0).grid_span(), 2);
  EXPECT_EQ(t.cell(1, 1).paragraphs().size(), 2u);
  EXPECT_EQ(t.cell(0, 2).width(), Twips(3213));

  EXPECT_THROW(t.cell(3, 0), Error);
  EXPECT_THROW(t.cell(0, 3), Error);
  EXPECT_THROW(t.cell(-1, 0), Error);
  EXPECT_THAT(row_texts(doc.tables()[1].row(1)), ElementsAre("z", "w"));
}

TEST(TableTest, AppendsATableOfEqualColumnsAtTheEndOfTheBody) {
  Document doc = Document::open(testdata("plain.docx"));
  Table t = doc.add_table(4, 3);
  EXPECT_EQ(t.rows().size(), 4u);
  EXPECT_EQ(t.column_count(), 3);
  // A4 page 11906 twips wide, margins 1134 each: 9638 / 3 = 3212.
  EXPECT_EQ(t.cell(3, 2).width(), Twips(3212));
  EXPECT_EQ(t.cell(0, 0).text(), "");
  EXPECT_THROW(doc.add_table(1, 0), Error);
  EXPECT_THROW(doc.add_table(-1, 2), Error);
  EXPECT_THROW(doc.add_table(1, 64), Error);

  Document again = reopen(doc);
  ASSERT_EQ(again.tables().size(), 1u);
  auto blocks = again.blocks();
  EXPECT_TRUE(std::holds_alternative<Table>(blocks.back()));
  Xml_Document x = Xml_Document::parse(again.package().part_data("word/document.xml"));
  auto body = x.root().first_child(ns::kW, "body")->children();
  EXPECT_EQ(body.back().local_name(), "sectPr");
  EXPECT_EQ(body[body.size() - 2].local_name(), "tbl");
}

TEST(TableTest, SetsCellTextKeepingCellProperties) {
  Document doc = Document::open(testdata("tables.docx"));
  Cell c = doc.tables()[0].cell(1, 1);
  Paragraph old = c.paragraphs()[1];
  c.set_text("摘要：\nabstract text");
  EXPECT_EQ(c.text(), "摘要：\nabstract text");
  EXPECT_EQ(old.text(), "B2 second line");  // removed, still safe to read
  auto ps = c.paragraphs();
  ASSERT_EQ(ps.size(), 1u);
  ASSERT_EQ(ps[0].runs().size(), 1u);
  EXPECT_THAT(ps[0].xml(), HasSubstr("<w:br/>"));
  EXPECT_EQ(c.width(), Twips(3213));
  c.add_paragraph("second");
  EXPECT_EQ(reopen(doc).tables()[0].cell(1, 1).text(), "摘要：\nabstract text\nsecond");
}

TEST(TableTest, CellAndRowProperties) {
  Document doc = Document::open(testdata("plain.docx"));
  Table t = doc.add_table(2, 2);
  Cell c = t.cell(0, 1);
  c.set_vertical_alignment(Vertical_Alignment::center);
  c.set_width(Cm(12.2));
  t.row(1).set_height(Cm(0.8));
  c.set_text("x");
  EXPECT_EQ(c.vertical_alignment(), Vertical_Alignment::center);
  EXPECT_THROW(t.row(0).set_height(Cm(-1)), Error);
  EXPECT_THROW(c.set_width(Cm(-1)), Error);

  Document again = reopen(doc);
  Table u = again.tables()[0];
  EXPECT_EQ(u.cell(0, 1).vertical_alignment(), Vertical_Alignment::center);
  EXPECT_EQ(u.cell(0, 1).width(), Twips(6917));
  EXPECT_EQ(u.row(1).height(), Twips(454));
  EXPECT_EQ(u.row(0).height(), std::nullopt);
  // The grid column follows the single-column cell's width.
  Xml_Document body = Xml_Document::parse(again.package().part_data("word/document.xml"));
  auto grid = body.root().descendants(ns::kW, "gridCol");
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(grid[1].attribute("w", ns::kW), "6917");
  std::string xml = again.package().part_data("word/document.xml");
  EXPECT_THAT(xml, HasSubstr("<w:trPr><w:trHeight w:val=\"454\"/></w:trPr>"));  // no hRule
  EXPECT_THAT(xml, HasSubstr("<w:tcPr><w:tcW w:w=\"6917\" w:type=\"dxa\"/><w:vAlign w:val=\"center\"/></w:tcPr>"));
}

TEST(TableTest, MergesAcrossARowAddingWidthsAndContent) {
  Document doc = Document::open(testdata("plain.docx"));
  Table t = doc.add_table(3, 3);
  t.cell(0, 0).set_text("a");
  t.cell(0, 1).set_text("b");
  t.cell(1, 1).set_text("only middle");
  t.cell(2, 0).set_text("left");
  for (int r = 0; r < 3; ++r) t.cell(r, 0).set_vertical_alignment(Vertical_Alignment::center);

  Cell m0 = t.cell(0, 0).merge(t.cell(0, 1));
  Cell m1 = t.cell(1, 0).merge(t.cell(1, 1)).merge(t.cell(1, 2));
  t.cell(2, 0).merge(t.cell(2, 1));
  EXPECT_THAT(row_texts(t.row(0)), ElementsAre("a\nb", "a\nb", ""));
  EXPECT_THAT(row_texts(t.row(1)), ElementsAre("only middle", "only middle", "only middle"));
  EXPECT_THAT(row_texts(t.row(2)), ElementsAre("left", "left", ""));
  EXPECT_EQ(m0.grid_span(), 2);
  EXPECT_EQ(m1.grid_span(), 3);
  EXPECT_EQ(m1.width(), Twips(3 * 3212));
  EXPECT_EQ(m1.vertical_alignment(), Vertical_Alignment::center);  // the first cell's
  EXPECT_EQ(m1.paragraphs().size(), 1u);
  // Merging leaves the grid as it was.
  t.cell(0, 2).set_width(Cm(2));
  Xml_Document x = Xml_Document::parse(doc.package().part_data("word/document.xml"));
  std::vector<std::string> grid;
  for (const Xml_Element& g : x.root().descendants(ns::kW, "gridCol")) grid.push_back(*g.attribute("w", ns::kW));
  EXPECT_THAT(grid, ElementsAre("3212", "3212", "1134"));

  EXPECT_THROW(t.cell(0, 0).merge(t.cell(0, 0)), Error);
  EXPECT_THROW(t.cell(2, 2).merge(t.cell(2, 0)), Error);  // not the next cell
  EXPECT_THROW(t.cell(0, 2).merge(t.cell(1, 2)), Error);  // another row

  Document again = reopen(doc);
  EXPECT_THAT(row_texts(again.tables()[0].row(0)), ElementsAre("a\nb", "a\nb", ""));
  EXPECT_EQ(again.tables()[0].row(1).cells().size(), 3u);

  Document lo = Document::open(testdata("tables.docx"));
  Table v = lo.tables()[0];
  EXPECT_THROW(v.cell(1, 1).merge(v.cell(1, 2)), Error);  // C2 starts a vertical merge
}

TEST(TableTest, HandlesHashByIdentity) {
  Document doc = Document::open(testdata("tables.docx"));
  Table t = doc.tables()[0];
  std::unordered_set<Cell> cells;
  size_t delivered = 0;
  for (const Row& row : t.rows())
    for (const Cell& c : row.cells()) {
      cells.insert(c);
      ++delivered;
    }
  // A1-B1 spans two columns, C2-C3 two rows.
  EXPECT_EQ(delivered, 9u);
  EXPECT_EQ(cells.size(), 7u);
  EXPECT_EQ(std::hash<Cell>()(t.cell(0, 0)), std::hash<Cell>()(t.cell(0, 1)));

  const std::vector<Paragraph> body = doc.paragraphs();
  std::unordered_set<Paragraph> paragraphs(body.begin(), body.end());
  for (const Paragraph& p : doc.paragraphs()) paragraphs.insert(p);
  EXPECT_EQ(paragraphs.size(), body.size());
  EXPECT_EQ(std::unordered_set<Table>({doc.tables()[0], doc.tables()[0]}).size(), 1u);
  EXPECT_EQ(std::unordered_set<Row>({t.row(0), t.row(0), t.row(1)}).size(), 2u);
  EXPECT_EQ(std::unordered_set<travo::docx::Run>({t.cell(0, 2).paragraphs()[0].runs().at(0)}).size(), 1u);
}

TEST(TableTest, TableAndCellXmlStandOnTheirOwn) {
  Document doc = Document::open(testdata("tables.docx"));
  Table t = doc.tables()[0];
  Xml_Document table = Xml_Document::parse(t.xml());
  EXPECT_EQ(table.root().tag(), std::string("{") + ns::kW + "}tbl");
  EXPECT_EQ(table.root().children(ns::kW, "tr").size(), 3u);
  EXPECT_THAT(t.xml(), HasSubstr("<w:gridSpan w:val=\"2\"/>"));
  Xml_Document cell = Xml_Document::parse(t.cell(1, 1).xml());
  EXPECT_EQ(cell.root().local_name(), "tc");
  EXPECT_EQ(cell.root().children(ns::kW, "p").size(), 2u);
}

TEST(TableTest, RemoveTakesTheTableOutAndKeepsHandlesSafe) {
  Document doc = Document::open(testdata("tables.docx"));
  const size_t tables = doc.tables().size(), blocks = doc.blocks().size();
  Table t = doc.tables()[0];
  Cell c = t.cell(1, 1);
  t.remove();
  ASSERT_EQ(doc.tables().size(), tables - 1);
  EXPECT_EQ(doc.blocks().size(), blocks - 1);
  EXPECT_NE(doc.tables()[0], t);
  // The removed table reads and takes changes, outside the document.
  EXPECT_EQ(t.cell(0, 0).text(), "A1-B1");
  c.set_text("changed");
  EXPECT_EQ(t.cell(1, 1).text(), "changed");
  const std::string saved = doc.package().part_data("word/document.xml");
  EXPECT_THAT(saved, Not(HasSubstr("A1-B1")));
  EXPECT_THAT(saved, Not(HasSubstr("changed")));
  t.remove();  // a second time changes nothing
  EXPECT_EQ(doc.package().part_data("word/document.xml"), saved);

  // An added table, removed before anything else is added.
  Table added = doc.add_table(2, 2);
  added.cell(0, 0).set_text("added");
  added.remove();
  doc.add_paragraph("after");
  Document again = reopen(doc);
  EXPECT_EQ(again.tables().size(), tables - 1);
  EXPECT_THAT(again.package().part_data("word/document.xml"), Not(HasSubstr("added")));
  EXPECT_EQ(again.paragraphs().back().text(), "after");
}

TEST(TableTest, SetsStyleByNameFromTheStylesPart) {
  Document doc = Document::open(testdata("table_grid.docx"));
  Table t = doc.add_table(1, 1);
  EXPECT_EQ(t.style(), std::nullopt);
  t.set_style("Table Grid");
  EXPECT_EQ(t.style(), "Table Grid");
  Document again = reopen(doc);
  EXPECT_EQ(again.tables().back().style(), "Table Grid");
  EXPECT_THAT(again.package().part_data("word/document.xml"),
              HasSubstr("<w:tblPr><w:tblStyle w:val=\"TableGrid\"/>"));
  // The styles part was only read, so it is copied as it was.
  EXPECT_EQ(again.package().part_data("word/styles.xml"),
            Package::open(testdata("table_grid.docx")).part_data("word/styles.xml"));

  Document lo = Document::open(testdata("tables.docx"));
  Table u = lo.tables()[0];
  try {
    u.set_style("Table Grid");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("no table style named 'Table Grid'"));
  }
  EXPECT_THROW(u.set_style("Table Contents"), Error);  // a paragraph style
  EXPECT_EQ(u.style(), std::nullopt);
}

}  // namespace
}  // namespace travo::docx
