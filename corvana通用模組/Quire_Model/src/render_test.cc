// Filled documents open in LibreOffice and read as expected: one
// conversion of both filled fixtures to PDF is shared by every case.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "quire_model/document.h"
#include "test_support.h"

namespace quire_model {
namespace {

using test_support::count;
using test_support::read_file;
using test_support::Temp_Dir;
using test_support::testdata;

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::vector<std::string> pages(const std::string& text) {
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t at = text.find('\f'); at != std::string::npos; at = text.find('\f', from)) {
    out.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  return out;
}

class Rendered : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!run("command -v soffice >/dev/null 2>&1") || !run("command -v pdftotext >/dev/null 2>&1"))
      return;
    tmp_ = std::make_unique<Temp_Dir>();

    Quire_Model::Document body = test_support::open_fixture("body.docx");
    body.set("{{name}}", "王小明");
    body.set("{{ins}}", "inserted");
    body.set("{{split}}", "joined");
    body.set("{{lb}}", "merged");
    body.set("{{tab}}", "tabbed");
    body.set("{{field}}", "field");
    body.set("{{link}}", "linked");
    body.set("{{申請人}}", "國立臺灣大學", {.new_font_size = travo::docx::Pt(14)});
    body.set("{{pb_after}}", "AFTER");
    body.set("{{pb_before}}", "BEFORE");
    body.set("{{NA$$$page$$$ME}}", "INSIDE");
    body.set("{{dup}}", "first$$$page$$$second");
    body.execute_set();
    body.doc->save(*tmp_ / "body.docx");

    Quire_Model::Document cells = test_support::open_fixture("cells.docx");
    cells.set("{{span}}", "<{{span}}>");
    cells.set("{{remark}}", "主文__remark__備註");
    cells.set("{{dup}}", "twice");
    const char* pictures[] = {"800x600.png", "400x100.png", "50x100.jpg"};
    for (int i = 0; i < 3; ++i) {
      cells.set("{{pic" + std::to_string(i + 1) + "}}", "pic" + std::to_string(i + 1),
                {.image_path = testdata("images/" + std::string(pictures[i])).string(),
                 .image_height = 1,
                 .image_width = 1});
    }
    cells.execute_set();
    cells.doc->save(*tmp_ / "cells.docx");

    const std::string dir = tmp_->path().string();
    converted_ = run("cd '" + dir + "' && timeout 300 soffice -env:UserInstallation=file://" + dir +
                     "/profile --headless --convert-to pdf body.docx cells.docx >/dev/null 2>&1") &&
                 run("cd '" + dir + "' && pdftotext -enc UTF-8 body.pdf && pdftotext -enc UTF-8 cells.pdf"
                     " && pdfimages -list cells.pdf > cells.images");
  }
  static void TearDownTestSuite() { tmp_.reset(); }

  void SetUp() override {
    if (!tmp_) GTEST_SKIP() << "LibreOffice or poppler-utils not installed";
    ASSERT_TRUE(converted_) << "LibreOffice could not convert the filled documents";
  }

  static std::unique_ptr<Temp_Dir> tmp_;
  static bool converted_;
};

std::unique_ptr<Temp_Dir> Rendered::tmp_;
bool Rendered::converted_ = false;

void check_body(const std::string& text) {
  const std::vector<std::string> p = pages(text);
  // Breaks: after "AFTER", before "BEFORE" (the one inside the swallowed
  // key is gone), and one per "{{dup}}" replaced.
  ASSERT_EQ(p.size(), 5u) << text;
  EXPECT_NE(p[0].find("Name: 王小明 (end)"), std::string::npos);
  EXPECT_NE(p[0].find("Kept inserted text ends."), std::string::npos);
  EXPECT_NE(p[0].find("Split joined here."), std::string::npos);
  EXPECT_NE(p[0].find("Line onemerged two"), std::string::npos);
  EXPECT_NE(p[0].find("國立臺灣大學"), std::string::npos);
  EXPECT_NE(p[0].find("Break after AFTER"), std::string::npos);
  EXPECT_NE(p[1].find("Second page."), std::string::npos);
  EXPECT_NE(p[2].find("After table BEFORE"), std::string::npos);
  EXPECT_NE(p[2].find("Before INSIDE after"), std::string::npos);
  EXPECT_NE(p[2].find("first"), std::string::npos);
  EXPECT_NE(p[3].find("second and first"), std::string::npos);
  EXPECT_NE(p[4].find("second and tail"), std::string::npos);
  for (const char* gone : {"{{name}}", "{{ins}}", "{{gone}}", "{{split}}", "{{lb}}", "{{field}}",
                           "{{link}}", "{{申請人}}", "{{pb_", "{{NA", "ME}}", "{{dup}}"})
    EXPECT_EQ(text.find(gone), std::string::npos) << gone;
}

void check_cells(const std::string& text, const std::string& images) {
  // The cell spans three columns and is replaced once.
  EXPECT_NE(text.find("<{{span}}>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<<{{span}}>>"), std::string::npos) << text;
  EXPECT_NE(text.find("主文備註"), std::string::npos) << text;
  EXPECT_NE(text.find("twice twice!"), std::string::npos) << text;
  EXPECT_EQ(text.find("__remark__"), std::string::npos);
  // pdfimages -list: two heading lines, then one line per picture.
  EXPECT_EQ(count(images, "\n"), 2u + 3u) << images;
}

// One case, so that ctest, which runs each case in a process of its own,
// also converts only once.
TEST_F(Rendered, FilledDocumentsReadAsExpected) {
  {
    SCOPED_TRACE("body");
    check_body(read_file(*tmp_ / "body.txt"));
  }
  SCOPED_TRACE("cells");
  check_cells(read_file(*tmp_ / "cells.txt"), read_file(*tmp_ / "cells.images"));
}

}  // namespace
}  // namespace quire_model
