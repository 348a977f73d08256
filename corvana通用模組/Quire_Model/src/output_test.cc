// Output to Word and PDF. The PDF cases convert with LibreOffice through
// the engine's own converter; one Document (so one resident office) serves
// all of them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "pdf_check.h"
#include "platen_model/platen_model.h"
#include "platen_model/test_support.h"
#include "quire_model/document.h"
#include "test_support.h"
#include "travo/platform/utf8.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using namespace test_support;

bool have(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string pdf_text(const fs::path& pdf) {
  const fs::path txt = fs::path(pdf).replace_extension(".txt");
  const std::string command = "pdftotext -enc UTF-8 '" + pdf.string() + "' '" + txt.string() + "'";
  if (std::system(command.c_str()) != 0) return "<pdftotext failed>";
  // The 2 cm number column wraps long numbers: compare without white
  // space.
  std::string text = read_file(txt);
  std::erase_if(text, [](char c) { return c == ' ' || c == '\n' || c == '\f'; });
  return text;
}

// The patent_grid fixture with one filled patent table; save_path is the
// folder `dir` (with its final slash).
Quire_Model::Document patent_document(const Temp_Dir& dir) {
  Quire_Model::Document doc;
  doc.set_word_version_path("v", testdata("patent_grid.docx").string());
  doc.run_version("v", dir.path().string() + "/");
  doc._add_table({.abstract = "一種用於檢索專利的裝置。",
                  .PAPN = "TWI777001B",
                  .title = "檢索裝置",
                  .image_path = testdata("images/2000x1000.png").string()});
  return doc;
}

std::vector<std::string> files_in(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Output, DefaultFlagsKeepOnlyTheWordFile) {
  Temp_Dir dir;
  Quire_Model::Document doc = patent_document(dir);
  Capture_Stdout out;
  doc.output("r1");
  EXPECT_EQ(doc.name, "r1");
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"r1.docx"});
  // The line names the file produced.
  EXPECT_EQ(out.text(), "[完成！] " + dir.path().string() + "/r1.docx\n");
  // The saved file holds the table, and the document stays open.
  travo::docx::Document saved = travo::docx::Document::open(dir / "r1.docx");
  EXPECT_EQ(saved.tables().back().cell(1, 0).text(), "TWI777001B");
  ASSERT_TRUE(doc.doc);

  // Neither flag: the Word file is written and deleted again; the line
  // still names it.
  doc.output("gone", false, false);
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"r1.docx"});
  EXPECT_THAT(out.text(), ::testing::EndsWith("\n[完成！] " + dir.path().string() + "/gone.docx\n"));
}

TEST(Output, NameIsGluedOntoTheSavePathAsWritten) {
  Temp_Dir dir;
  fs::create_directories(dir / "out");
  Quire_Model::Document doc;
  doc.set_word_version_path("v", testdata("patent.docx").string());
  // No final slash: the name joins the folder's last element.
  doc.run_version("v", (dir / "out").string());
  Capture_Stdout out;
  doc.output("r1");
  EXPECT_TRUE(fs::exists(dir / "outr1.docx"));
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  // A name may hold sub-folders of an existing folder.
  doc.run_version("v", dir.path().string() + "/");
  doc.output("out/r2");
  EXPECT_TRUE(fs::exists(dir / "out" / "r2.docx"));
}

TEST(Output, CorvanaPathsAreWrittenLocallyAndShownAsGiven) {
  Temp_Dir dir;
  Scoped_Env root("CORVANA_ROOT", dir.path().string());
  Quire_Model::Document doc;
  doc.set_word_version_path("v", testdata("patent.docx").string());
  doc.run_version("v");  // save_path "C:/corvana/"
  Capture_Stdout out;
  doc.output("報告");
  EXPECT_TRUE(fs::exists(dir / travo::platform::utf8_path("報告.docx")));
  EXPECT_EQ(out.text(), "[完成！] C:/corvana/報告.docx\n");
}

TEST(Output, SaveErrorsReachTheCallerWithoutTheLine) {
  Temp_Dir dir;
  Quire_Model::Document doc;
  doc.set_word_version_path("v", testdata("patent.docx").string());
  doc.run_version("v", (dir / "no such folder").string() + "/");
  Capture_Stdout out;
  EXPECT_ANY_THROW(doc.output("r", true, false));
  EXPECT_EQ(out.text(), "");
  EXPECT_TRUE(files_in(dir.path()).empty());

  Quire_Model::Document closed;
  EXPECT_THROW(closed.output("r"), std::logic_error);
}

// A conversion that fails must not cost the Word file, even when only the
// PDF was wanted.
TEST(Output, FailedConversionKeepsTheWordFile) {
  Temp_Dir dir;
  Quire_Model::Document doc = patent_document(dir);
  platen_model::Options broken;
  broken.soffice = (dir / "no-soffice").string();
  doc.platen_model = std::make_unique<platen_model::Platen_Model>(broken);
  Capture_Stdout out;
  EXPECT_THROW(doc.output("r", true, false), std::runtime_error);
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"r.docx"});
  EXPECT_EQ(out.text(), "");
}

TEST(PdfCheck, RefusesAMissingOrEmptyFile) {
  Temp_Dir dir;
  EXPECT_THROW(require_pdf(dir / "none.pdf", "shown.pdf"), std::runtime_error);
  std::ofstream(dir / "empty.pdf").close();
  try {
    require_pdf(dir / "empty.pdf", "C:/corvana/empty.pdf");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("C:/corvana/empty.pdf"));
    EXPECT_THAT(e.what(), HasSubstr("empty"));
  }
  EXPECT_THROW(require_pdf(dir.path(), "folder"), std::runtime_error);
  std::ofstream(dir / "one.pdf") << "%PDF-1.7";
  EXPECT_NO_THROW(require_pdf(dir / "one.pdf", "one.pdf"));
}

// One case, so that ctest (a process per case) starts LibreOffice once.
TEST(OutputPdf, FlagsDecideWhichFilesStay) {
  if (!have("soffice") || !have("pdftotext")) GTEST_SKIP() << "LibreOffice or poppler-utils missing";
  Temp_Dir dir;
  platen_model::test_support::Recorder converter_events;  // outlives the converter
  Quire_Model::Document doc = patent_document(dir);
  platen_model::Options observed;
  observed.observer = &converter_events;
  doc.platen_model = std::make_unique<platen_model::Platen_Model>(observed);

  {
    SCOPED_TRACE("pdf and docx");
    Capture_Stdout out;
    doc.output("both", true, true);
    EXPECT_EQ(out.text(), "[完成！] " + dir.path().string() + "/both.pdf\n");
    EXPECT_TRUE(fs::exists(dir / "both.docx"));
    const std::string text = pdf_text(dir / "both.pdf");
    // travo::platform::utf8_path("專利編號") wraps in its 2 cm column, and pdftotext reads the row's
    // first lines before the wrapped "號".
    for (const char* shown : {"專利編", "專利名稱", "關聯性", "TWI777001B", "檢索裝置", "摘要：",
                              "一種用於檢索專利的裝置。"})
      EXPECT_THAT(text, HasSubstr(shown));
  }
  {
    SCOPED_TRACE("pdf only");
    Capture_Stdout out;
    doc.output("pdf_only", true, false);
    EXPECT_EQ(out.text(), "[完成！] " + dir.path().string() + "/pdf_only.pdf\n");
    EXPECT_FALSE(fs::exists(dir / "pdf_only.docx"));
    EXPECT_THAT(pdf_text(dir / "pdf_only.pdf"), HasSubstr("TWI777001B"));
  }
  {
    SCOPED_TRACE("the same name again overwrites both files");
    doc._add_table({.PAPN = "TWI777002B"});
    Capture_Stdout out;
    doc.output("both", true, true);
    EXPECT_THAT(pdf_text(dir / "both.pdf"), HasSubstr("TWI777002B"));
    EXPECT_EQ(travo::docx::Document::open(dir / "both.docx").tables().size(), 2u);
  }
  EXPECT_EQ(converter_events.office_starts(), 1);
}

}  // namespace
}  // namespace quire_model
