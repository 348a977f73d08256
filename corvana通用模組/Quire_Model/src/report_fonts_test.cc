// A report filled with the Windows fonts our templates name comes out of
// the converter with the closest free fonts embedded, not with whatever
// fontconfig falls back to (Noto Sans CJK JP, Japanese glyph shapes, for
// the Chinese ones). Real LibreOffice; the PDF's fonts read with pdffonts.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "quire_model/document.h"
#include "test_support.h"
#ifndef _WIN32
#include "platen_model/pdf_tools.h"
#endif

namespace quire_model {
namespace {

using ::testing::HasSubstr;
using test_support::Temp_Dir;

#ifndef _WIN32
using platen_model::test_support::command_output;
using platen_model::test_support::have_tool;
#endif

TEST(ReportFonts, WindowsFontsAreEmbeddedAsTheirClosestFreeFonts) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has the fonts themselves";
#else
  if (!have_tool("soffice") || !have_tool("pdffonts")) GTEST_SKIP() << "LibreOffice or poppler-utils (pdffonts) missing";
  Temp_Dir tmp;
  Quire_Model::Document doc = test_support::open_fixture("report_fonts.docx");
  doc.save_path = tmp.path().string() + "/";
  doc.set("{{標楷體}}", "專利檢索報告（標楷體）", {.new_font_name_Chinese = "標楷體"});
  doc.set("{{新細明體}}", "發明名稱：溫度感測裝置（新細明體）", {.new_font_name_Chinese = "新細明體"});
  doc.set("{{正黑體}}", "申請人：國立臺灣大學（微軟正黑體）", {.new_font_name_Chinese = "Microsoft JhengHei"});
  doc.set("{{Calibri}}", "Calibri: TWI812345B", {.new_font_name = "Calibri"});
  doc.set("{{Times}}", "Times New Roman: TWI812345B", {.new_font_name = "Times New Roman"});
  doc.set("{{Arial}}", "Arial: TWI812345B", {.new_font_name = "Arial"});
  doc.execute_set();
  doc.output("fonts", /*pdf=*/true);

  // pdffonts lists the embedded fonts' PostScript names. Noto Sans CJK
  // shares one CFF table among its faces, named after the Japanese one, so
  // its name cannot tell TC from JP: the next test compares glyphs instead.
  const std::string fonts = command_output("pdffonts '" + (tmp.path() / "fonts.pdf").string() + "' 2>&1");
  for (const char* name : {"+UKaiTW ", "+UMingTW ", "+NotoSansCJK", "+Carlito ", "+LiberationSerif ",
                           "+LiberationSans "})
    EXPECT_THAT(fonts, HasSubstr(name)) << "run scripts/setup.sh for the font packages";
  // Nothing fell back to another font: exactly the six.
  EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2 + 6) << fonts;
#endif
}

// Microsoft JhengHei is drawn with the Traditional Chinese face of Noto
// Sans CJK: a page in it is the same image as one naming that face itself,
// and differs from one naming the Japanese face (whose glyphs for these
// characters differ).
TEST(ReportFonts, MicrosoftJhengHeiGetsTraditionalChineseGlyphs) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has the fonts themselves";
#else
  if (!have_tool("soffice") || !have_tool("pdftoppm")) GTEST_SKIP() << "LibreOffice or poppler-utils (pdftoppm) missing";
  Temp_Dir tmp;
  Quire_Model::Document doc = test_support::open_fixture("report_fonts.docx");
  doc.save_path = tmp.path().string() + "/";
  const std::string probe = "直骨述令說";
  doc.set("{{標楷體}}", probe + "$$$page$$$", {.new_font_name_Chinese = "Microsoft JhengHei"});
  doc.set("{{新細明體}}", probe + "$$$page$$$", {.new_font_name_Chinese = "Noto Sans CJK TC"});
  doc.set("{{正黑體}}", probe, {.new_font_name_Chinese = "Noto Sans CJK JP"});
  for (const char* key : {"{{Calibri}}", "{{Times}}", "{{Arial}}"}) doc.set(key, "");
  doc.execute_set();
  doc.output("probe", /*pdf=*/true);
  ASSERT_EQ(std::system(("pdftoppm -r 72 -gray '" + (tmp.path() / "probe.pdf").string() + "' '" +
                         (tmp.path() / "page").string() + "'")
                            .c_str()),
            0);
  const std::string jhenghei = test_support::read_file(tmp / "page-1.pgm");
  const std::string tc = test_support::read_file(tmp / "page-2.pgm");
  const std::string jp = test_support::read_file(tmp / "page-3.pgm");
  ASSERT_FALSE(jhenghei.empty());
  ASSERT_NE(tc, jp) << "the probe text no longer tells the faces apart";
  EXPECT_TRUE(jhenghei == tc);
#endif
}

}  // namespace
}  // namespace quire_model
