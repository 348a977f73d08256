// Edited documents must stay valid for a real word processor: these tests
// convert them to PDF with LibreOffice and read the text back with pdftotext.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "travo/docx/document.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using ::testing::HasSubstr;
using test_support::read_file;
using test_support::Temp_Dir;
using test_support::testdata;

bool have(const char* tool) {
#ifdef _WIN32
  (void)tool;
  return false;  // no LibreOffice or poppler under Wine
#endif
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Converts `docx` to PDF beside it and returns the PDF's text ("" on failure).
std::string pdf_text(const Temp_Dir& dir, const std::filesystem::path& docx, int* pages) {
  const std::string profile = "file://" + (dir / "lo-profile").string();
  // The bound only ends a hung office, below ctest's own time-out: a first
  // start with a fresh profile took over 70 s on a busy two-core machine.
  std::string cmd = "timeout 480 soffice -env:UserInstallation=" + profile +
                    " --headless --convert-to pdf --outdir '" + dir.path().string() + "' '" +
                    docx.string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return "";
  auto pdf = docx;
  pdf.replace_extension(".pdf");
  if (!std::filesystem::exists(pdf)) return "";
  auto txt = dir / "out.txt";
  std::system(("pdftotext -layout '" + pdf.string() + "' '" + txt.string() + "'").c_str());
  auto info = dir / "info.txt";
  std::system(("pdfinfo '" + pdf.string() + "' > '" + info.string() + "' 2>/dev/null").c_str());
  std::string meta = read_file(info);
  auto at = meta.find("Pages:");
  *pages = at == std::string::npos ? 0 : std::atoi(meta.c_str() + at + 6);
  return read_file(txt);
}

TEST(RenderTest, EditedDocumentConvertsToPdfWithItsText) {
  if (!have("soffice") || !have("pdftotext") || !have("pdfinfo"))
    GTEST_SKIP() << "LibreOffice (soffice) and poppler-utils are needed for this test";
  Temp_Dir dir;
  Document doc = Document::open(testdata("table_grid.docx"));

  Paragraph first = doc.paragraphs()[0];
  first.clear();
  travo::docx::Run r = first.add_run("Report title 專利報告");
  r.set_font_name("Liberation Serif");
  r.set_east_asia_font("Noto Sans CJK TC");
  r.set_size(Pt(16));
  r.set_color(200, 0, 0);
  first.set_alignment(Alignment::center);
  first.set_exact_line_spacing(Pt(24));
  first.set_left_indent(Pt(12));
  doc.paragraphs()[1].runs()[0].set_text("Replaced second paragraph");

  Table t = doc.add_table(4, 3);
  t.set_style("Table Grid");
  const char* head[] = {"專利編號", "專利名稱", "關聯性"};
  for (int c = 0; c < 3; ++c) t.cell(0, c).set_text(head[c]);
  t.cell(1, 0).set_text("TW123456");
  t.cell(1, 1).set_text("Widget assembly");
  for (int row = 0; row < 4; ++row)
    for (int c = 0; c < 3; ++c) t.cell(row, c).set_vertical_alignment(Vertical_Alignment::center);
  t.cell(2, 0).merge(t.cell(2, 1)).merge(t.cell(2, 2)).set_text("摘要：\nAbstract body text");
  t.row(2).set_height(Cm(8));
  t.row(3).set_height(Cm(10));
  Cell pic = t.cell(3, 0).merge(t.cell(3, 1)).merge(t.cell(3, 2));
  pic.set_text("");
  Paragraph pp = pic.paragraphs()[0];
  pp.add_run().add_picture(testdata("images/pic_200x100.png"), Cm(16.4));
  pp.set_alignment(Alignment::center);
  doc.add_page_break();
  doc.add_paragraph("Closing paragraph after the break");

  auto out = dir / "edited.docx";
  doc.save(out);
  int pages = 0;
  std::string text = pdf_text(dir, out, &pages);
  ASSERT_FALSE(text.empty()) << "LibreOffice could not convert the edited document";
  EXPECT_THAT(text, HasSubstr("Report title"));
  EXPECT_THAT(text, HasSubstr("專利報告"));
  EXPECT_THAT(text, HasSubstr("Replaced second paragraph"));
  EXPECT_THAT(text, HasSubstr("TW123456"));
  EXPECT_THAT(text, HasSubstr("Widget assembly"));
  EXPECT_THAT(text, HasSubstr("專利編號"));
  EXPECT_THAT(text, HasSubstr("摘要："));
  EXPECT_THAT(text, HasSubstr("Abstract body text"));
  EXPECT_THAT(text, HasSubstr("Closing paragraph after the break"));
  // The tall table rows and the page break push the closing text to a later page.
  EXPECT_GE(pages, 2);
}

}  // namespace
}  // namespace travo::docx
