#include "travo/harrow/search_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "travo/platform/environment.h"

#include "xlsx_test_support.h"
#include "travo/platform/utf8.h"

namespace travo::harrow {
namespace {

namespace fs = std::filesystem;

// The message of the std::runtime_error that `f` throws.
template <typename F>
std::string message_of(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

class SearchListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("search_list_test_" + std::to_string(travo::platform::current_process_id()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SearchListTest, SavesRowsWidthsFontAndAlignment) {
  Search_List list;
  list.append_row({"TWI800001B", "電池模組", "2021/03/04", "2022/09/01", "110108765", "甲公司\n乙 & 丙公司"});
  list.append_row({"TW202300002A", "", "2021/01/01", "2022/01/01", "110000001", "丁大學"});
  const fs::path out = dir_ / travo::platform::utf8_path("專利檢索列表.xlsx");
  list.finish(out);

  auto rows = test_support::sheet_rows(out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::array<std::string, 6>{"專利公開號", "標題", "申請日", "公開(公告)日", "申請號", "申請人"}));
  EXPECT_EQ(rows[1][5], "甲公司\n乙 & 丙公司");
  EXPECT_EQ(rows[2][0], "TW202300002A");

  const std::string sheet = test_support::zip_part(out, "xl/worksheets/sheet1.xml");
  // Widths 30, 90, 30, 30, 30, 180 (the writer adds its own padding).
  for (const char* col : {"<col min=\"1\" max=\"1\" width=\"30.", "<col min=\"2\" max=\"2\" width=\"90.",
                          "<col min=\"6\" max=\"6\" width=\"180."}) {
    EXPECT_NE(sheet.find(col), std::string::npos) << col;
  }
  // Every cell of A1:F3 carries the same non-default style; nothing else is written.
  EXPECT_EQ(sheet.find("G1"), std::string::npos);
  EXPECT_EQ(sheet.find("A4"), std::string::npos);
  EXPECT_NE(sheet.find("<c r=\"B3\" s=\"1\"/>"), std::string::npos);  // empty title, still formatted
  const std::string styles = test_support::zip_part(out, "xl/styles.xml");
  EXPECT_NE(styles.find("<name val=\"Microsoft JhengHei\"/>"), std::string::npos);
  EXPECT_NE(styles.find("<alignment horizontal=\"center\" vertical=\"center\"/>"), std::string::npos);
  EXPECT_EQ(styles.find("wrapText"), std::string::npos);
  EXPECT_EQ(test_support::zip_part(out, "xl/workbook.xml").find("name=\"Sheet1\"") != std::string::npos, true);
}

TEST_F(SearchListTest, FailedSaveLeavesThePreviousFileIntact) {
  const fs::path out = dir_ / "list.xlsx";
  { std::ofstream(out) << "previous"; }

  // Missing folder.
  Search_List list;
  EXPECT_EQ(message_of([&] { list.finish(dir_ / "missing" / "list.xlsx"); }),
            "無法儲存檢索列表 " + (dir_ / "missing" / "list.xlsx").string() + "：資料夾不存在");

  // A string too long for a cell fails while writing: the old file stays.
  Search_List too_long;
  too_long.append_row({std::string(40000, 'x'), "", "", "", "", ""});
  EXPECT_THROW(too_long.finish(out), std::runtime_error);
  std::ifstream in(out);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "previous");

  // Target that is a folder.
  fs::create_directory(dir_ / "folder.xlsx");
  EXPECT_EQ(message_of([&] { list.finish(dir_ / "folder.xlsx"); }),
            "無法儲存檢索列表 " + (dir_ / "folder.xlsx").string() + "：目標是一個資料夾");

  // No temporary files are left behind.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST_F(SearchListTest, ReplacesAnExistingFile) {
  const fs::path out = dir_ / "list.xlsx";
  { std::ofstream(out) << "previous"; }
  Search_List list;
  list.finish(out);
  EXPECT_EQ(test_support::sheet_rows(out).size(), 1u);
}

}  // namespace
}  // namespace travo::harrow
