#include "quire_model/document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "travo/docx/error.h"
#include "quire_model/quire_model.h"
#include "test_support.h"
#include "travo/platform/utf8.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using test_support::Scoped_Env;
using test_support::Temp_Dir;
using test_support::testdata;

TEST(QuireModel, CarriesItsVersionText) {
  EXPECT_EQ(Quire_Model().version_string, "v2025_01_04_001");
}

TEST(ValueTextForm, NumbersShareKeysWithTheirDecimalText) {
  EXPECT_EQ(Value(u8"專利").text_form(), "專利");
  EXPECT_EQ(Value(5).text_form(), Value("5").text_form());
  EXPECT_NE(Value(5), Value("5"));
  EXPECT_EQ(Value(UINT64_MAX).text_form(), "18446744073709551615");
  EXPECT_EQ(Value(INT64_MIN).text_form(), "-9223372036854775808");
  // Floats as Python writes them.
  EXPECT_EQ(Value(12.0).text_form(), "12.0");
  EXPECT_EQ(float_text(0.1), "0.1");
  EXPECT_EQ(float_text(-0.0), "-0.0");
  EXPECT_EQ(float_text(0.0001), "0.0001");
  EXPECT_EQ(float_text(0.00001), "1e-05");
  EXPECT_EQ(float_text(1e15), "1000000000000000.0");
  EXPECT_EQ(float_text(1.5e16), "1.5e+16");
  EXPECT_EQ(float_text(1.0 / 3.0), "0.3333333333333333");
}

TEST(DocumentFields, StartEmpty) {
  Quire_Model::Document doc;
  EXPECT_TRUE(doc.version_path.empty());
  EXPECT_TRUE(doc.replace_value.empty());
  EXPECT_TRUE(doc.platen_model);
  EXPECT_FALSE(doc.doc);
  EXPECT_FALSE(doc.version);
  EXPECT_FALSE(doc.save_path);
  EXPECT_FALSE(doc.name);
  EXPECT_FALSE(doc.check_dict);
  EXPECT_THROW(doc.working_document(), std::logic_error);
  EXPECT_THROW(doc.execute_set(), std::logic_error);
}

TEST(Registry, DefaultsFillEveryKey) {
  Quire_Model::Document doc;
  doc.set("A", "B");
  const Replacement_Entry& e = doc.replace_value.at("A");
  EXPECT_EQ(e.replacement_text, "B");
  EXPECT_EQ(e.font_name, "Calibri");
  EXPECT_EQ(e.east_asia_font_name, "標楷體");
  EXPECT_EQ(e.font_size, travo::docx::Emu(101600));
  EXPECT_EQ(e.alignment, travo::docx::Alignment::center);
  EXPECT_FALSE(e.left_indent);
  EXPECT_FALSE(e.line_spacing);
  EXPECT_FALSE(e.font_color);
  EXPECT_EQ(e.remark.font_size, travo::docx::Emu(101600));
  EXPECT_FALSE(e.image_path);
  EXPECT_FALSE(e.image_height);
  EXPECT_FALSE(e.image_width);
  EXPECT_EQ(e.image_fixed_ratio, true);
}

TEST(Registry, OptionsAreStoredAsGivenAndEmptyMeansAbsent) {
  Quire_Model::Document doc;
  doc.set("A", "B",
          {.new_font_name = std::nullopt,
           .new_alignment = std::nullopt,
           .left_indent = 12,
           .font_color = {{1, 2, 3}},
           .remark_new_font_size = travo::docx::Pt(5),
           .image_path = "C:/corvana/x.png",
           .image_fixed_ratio = std::nullopt});
  const Replacement_Entry& e = doc.replace_value.at("A");
  EXPECT_FALSE(e.font_name);
  EXPECT_FALSE(e.alignment);
  EXPECT_EQ(e.left_indent, 12.0);  // a number of points, not a length
  EXPECT_EQ(e.font_color, (Font_Color{1, 2, 3}));
  EXPECT_EQ(e.remark.font_size, travo::docx::Pt(5));
  EXPECT_EQ(e.image_path, "C:/corvana/x.png");  // kept as given, mapped only when read
  EXPECT_FALSE(e.image_fixed_ratio);
}

TEST(Registry, ReRegisteringReplacesTheWholeEntryInPlace) {
  Quire_Model::Document doc;
  doc.set("A", "first", {.new_font_size = travo::docx::Pt(12)});
  doc.set("B", "b");
  doc.set("A", "second");
  EXPECT_EQ(doc.replace_value.keys(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(doc.replace_value.at("A").replacement_text, "second");
  EXPECT_EQ(doc.replace_value.at("A").font_size, travo::docx::Pt(8));
}

TEST(Registry, NumbersAreKeyedByTheirText) {
  Quire_Model::Document doc;
  doc.set(5, 7);
  ASSERT_TRUE(doc.replace_value.contains("5"));
  EXPECT_EQ(doc.replace_value.at("5").replacement_text, "7");
  doc.set("5", 2.5);
  EXPECT_EQ(doc.replace_value.size(), 1u);
  EXPECT_EQ(doc.replace_value.at("5").replacement_text, "2.5");
}

TEST(Registry, DeleteEmptiesItAndExecuteSetThenChangesNothing) {
  Quire_Model::Document doc = test_support::open_fixture("body.docx");
  doc.set("{{name}}", "x");
  doc.set("{{lb}}", "y");
  doc.delete_();
  EXPECT_TRUE(doc.replace_value.empty());
  const std::string before = test_support::document_xml(*doc.doc);
  doc.execute_set();
  EXPECT_EQ(test_support::document_xml(*doc.doc), before);
}

TEST(RunVersion, OpensARegisteredVersionByItsTextForm) {
  Quire_Model::Document doc;
  doc.set_word_version_path(1, testdata("body.docx").string());
  EXPECT_EQ(doc.version_path.at("1"), testdata("body.docx").string());
  doc.run_version("1");
  ASSERT_TRUE(doc.doc);
  EXPECT_EQ(doc.version, Value("1"));  // the caller's value, not the key
  EXPECT_EQ(doc.save_path, "C:/corvana/");
  EXPECT_FALSE(doc.doc->paragraphs().empty());

  doc.set_word_version_path(1, testdata("cells.docx").string());
  doc.run_version(1, "out/");
  EXPECT_EQ(doc.version, Value(1));
  EXPECT_EQ(doc.save_path, "out/");
  EXPECT_EQ(doc.doc->tables().size(), 2u);
}

TEST(RunVersion, UnregisteredVersionPrintsAndKeepsTheState) {
  Quire_Model::Document doc;
  ::testing::internal::CaptureStdout();
  doc.run_version("nope", "D:/elsewhere/");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "word的檔案格式名稱並沒有定義\n");
  EXPECT_EQ(doc.save_path, "D:/elsewhere/");
  EXPECT_FALSE(doc.doc);
  EXPECT_FALSE(doc.version);

  doc.set_word_version_path("A", testdata("cells.docx").string());
  doc.run_version("A");
  ::testing::internal::CaptureStdout();
  doc.run_version("B", "x/");
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(doc.version, Value("A"));
  EXPECT_EQ(doc.doc->tables().size(), 2u);
  EXPECT_EQ(doc.save_path, "x/");
}

TEST(RunVersion, TemplateThatFailsToOpenLeavesVersionAndDocAgreeing) {
  Temp_Dir tmp;
  {
    std::ofstream(tmp / "broken.docx") << "not a zip archive";
  }
  Quire_Model::Document doc;
  doc.set_word_version_path("good", testdata("cells.docx").string());
  doc.set_word_version_path("bad", (tmp / "broken.docx").string());
  doc.set_word_version_path("missing", (tmp / "missing.docx").string());
  doc.run_version("good");
  EXPECT_THROW(doc.run_version("bad", "after/"), travo::docx::Error);
  EXPECT_EQ(doc.save_path, "after/");
  EXPECT_EQ(doc.version, Value("good"));
  EXPECT_EQ(doc.doc->tables().size(), 2u);
  EXPECT_THROW(doc.run_version("missing"), travo::docx::Error);
  EXPECT_EQ(doc.version, Value("good"));
}

TEST(RunVersion, CorvanaPathsAreOpenedFromTheMappedFolder) {
  Temp_Dir root;
  std::filesystem::create_directories(root / travo::platform::utf8_path("範本"));
  std::filesystem::copy_file(testdata("cells.docx"), root / travo::platform::utf8_path("範本") / travo::platform::utf8_path("報告.docx"));
  Scoped_Env env("CORVANA_ROOT", root.path().string());
  Quire_Model::Document doc;
  doc.set_word_version_path("A", "C:/corvana/範本/報告.docx");
  doc.run_version("A");
  ASSERT_TRUE(doc.doc);
  EXPECT_EQ(doc.version_path.at("A"), "C:/corvana/範本/報告.docx");
}

}  // namespace
}  // namespace quire_model
