#include "travo/platform/paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace travo::platform {
namespace {

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* r = std::getenv("CORVANA_ROOT")) saved_ = r, had_ = true;
    setenv("CORVANA_ROOT", "/tmp/croot", 1);
  }
  void TearDown() override {
    if (had_) setenv("CORVANA_ROOT", saved_.c_str(), 1); else unsetenv("CORVANA_ROOT");
  }
  std::string saved_;
  bool had_ = false;
};

TEST_F(PathsTest, MapsCorvanaPrefixInEitherSlashAndCase) {
  EXPECT_EQ(local_path("C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx").string(),
            "/tmp/croot/TRAVO專利檢索軟體/專利檢索列表.xlsx");
  EXPECT_EQ(local_path("c:\\corvana\\a\\b.docx").string(), "/tmp/croot/a/b.docx");
  EXPECT_EQ(local_path("C:/corvana/").string(), "/tmp/croot/");
  EXPECT_EQ(local_path("C:/corvana/TRAVO專利檢索軟體/").string(), "/tmp/croot/TRAVO專利檢索軟體/");
  EXPECT_EQ(local_path("C:/corvana").string(), "/tmp/croot");
}

TEST_F(PathsTest, LeavesOtherPathsAlone) {
  EXPECT_EQ(local_path("C:/corvanax/a").string(), "C:/corvanax/a");
  EXPECT_EQ(local_path("/home/u/report.docx").string(), "/home/u/report.docx");
  EXPECT_EQ(local_path("out/x.docx").string(), "out/x.docx");
}

TEST_F(PathsTest, DefaultsToHomeWhenUnset) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("CORVANA_ROOT");
  setenv("HOME", "/tmp/h", 1);
  EXPECT_EQ(corvana_root().string(), "/tmp/h/corvana");
  setenv("CORVANA_ROOT", "", 1);
  EXPECT_EQ(corvana_root().string(), "/tmp/h/corvana");
  setenv("HOME", home.c_str(), 1);
}

TEST_F(PathsTest, ProductFoldersAreMappedAndCreated) {
  const std::filesystem::path root = "/tmp/croot-" + std::to_string(::getpid());
  std::filesystem::remove_all(root);
  setenv("CORVANA_ROOT", root.c_str(), 1);
  EXPECT_EQ(product_folder(), root / "TRAVO專利檢索軟體/");
  EXPECT_EQ(search_list_path(), root / "TRAVO專利檢索軟體/專利檢索列表.xlsx");

  EXPECT_TRUE(ensure_product_folders());
  EXPECT_TRUE(std::filesystem::is_directory(product_folder()));
  { std::ofstream(product_folder() / "kept.txt") << "x"; }
  EXPECT_TRUE(ensure_product_folders());  // existing folders are fine and kept
  EXPECT_TRUE(std::filesystem::exists(product_folder() / "kept.txt"));
  std::filesystem::remove_all(root);

  // A root that cannot be made is reported by the result only.
  { std::ofstream(root) << "a file"; }
  EXPECT_FALSE(ensure_product_folders());
  std::filesystem::remove(root);
}

TEST(WindowsForm, UsesBackslashesWithoutTrailingSeparator) {
  EXPECT_EQ(windows_form(kProductFolder), "C:\\corvana\\TRAVO專利檢索軟體");
  EXPECT_EQ(windows_form("C:/"), "C:\\");
  EXPECT_EQ(windows_form("C:\\a\\"), "C:\\a");
}

}  // namespace
}  // namespace travo::platform
