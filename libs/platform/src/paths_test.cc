#include "travo/platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "travo/platform/environment.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

// A path as text, forward slashes (Windows joins with backslashes).
std::string text(const std::filesystem::path& p) {
  const std::u8string u = p.generic_u8string();
  return std::string(u.begin(), u.end());
}

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* r = std::getenv("CORVANA_ROOT")) saved_ = r;
    set_environment_variable("CORVANA_ROOT", "/tmp/croot");
  }
  void TearDown() override {
    if (saved_) set_environment_variable("CORVANA_ROOT", *saved_); else unset_environment_variable("CORVANA_ROOT");
  }
  std::optional<std::string> saved_;
};

TEST_F(PathsTest, MapsCorvanaPrefixInEitherSlashAndCase) {
  EXPECT_EQ(text(local_path("C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx")),
            "/tmp/croot/TRAVO專利檢索軟體/專利檢索列表.xlsx");
  EXPECT_EQ(text(local_path("c:\\corvana\\a\\b.docx")), "/tmp/croot/a/b.docx");
  EXPECT_EQ(text(local_path("C:/corvana/")), "/tmp/croot/");
  EXPECT_EQ(text(local_path("C:/corvana/TRAVO專利檢索軟體/")), "/tmp/croot/TRAVO專利檢索軟體/");
  EXPECT_EQ(text(local_path("C:/corvana")), "/tmp/croot");
}

TEST_F(PathsTest, LeavesOtherPathsAlone) {
  EXPECT_EQ(text(local_path("C:/corvanax/a")), "C:/corvanax/a");
  EXPECT_EQ(text(local_path("/home/u/report.docx")), "/home/u/report.docx");
  EXPECT_EQ(text(local_path("out/x.docx")), "out/x.docx");
}

TEST_F(PathsTest, DefaultsToHomeWhenUnset) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no home default: C:/corvana is real there (WindowsPaths)";
#endif
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  unset_environment_variable("CORVANA_ROOT");
  set_environment_variable("HOME", "/tmp/h");
  EXPECT_EQ(corvana_root().string(), "/tmp/h/corvana");
  set_environment_variable("CORVANA_ROOT", "");
  EXPECT_EQ(corvana_root().string(), "/tmp/h/corvana");
  set_environment_variable("HOME", home);
}

TEST_F(PathsTest, ProductFoldersAreMappedAndCreated) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("croot 根-" + std::to_string(current_process_id()));
  std::filesystem::remove_all(root);
  set_environment_variable("CORVANA_ROOT", utf8_string(root));
  EXPECT_EQ(text(product_folder()), text(root / utf8_path("TRAVO專利檢索軟體/")));
  EXPECT_EQ(text(search_list_path()), text(root / utf8_path("TRAVO專利檢索軟體/專利檢索列表.xlsx")));

  EXPECT_TRUE(ensure_product_folders());
  EXPECT_TRUE(std::filesystem::is_directory(product_folder()));
  { std::ofstream(product_folder() / "kept.txt") << "x"; }
  EXPECT_TRUE(ensure_product_folders());  // existing folders are fine and kept
  EXPECT_EQ(ensure_product_folders_or_reason(), "");
  EXPECT_TRUE(std::filesystem::exists(product_folder() / "kept.txt"));
  std::filesystem::remove_all(root);

  // A root that cannot be made is reported by the result only.
  { std::ofstream(root) << "a file"; }
  EXPECT_FALSE(ensure_product_folders());
  // ... or, for a program that needs it, by a message naming the local folder.
  const std::string reason = ensure_product_folders_or_reason();
  EXPECT_EQ(reason.rfind("無法建立資料夾 " + text(product_folder()) + "：", 0), 0u) << reason;
  EXPECT_GT(reason.size(), ("無法建立資料夾 " + text(product_folder()) + "：").size()) << "no reason given";
  std::filesystem::remove(root);
}

#ifdef _WIN32
// Without CORVANA_ROOT the fixed folder is used as the system writes it.
TEST_F(PathsTest, WindowsUsesTheFixedFolderAsItStands) {
  unset_environment_variable("CORVANA_ROOT");
  EXPECT_EQ(text(corvana_root()), "C:/corvana");
  EXPECT_EQ(text(search_list_path()), "C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx");
  EXPECT_EQ(search_list_path().native(), L"C:/corvana/TRAVO\u5c08\u5229\u6aa2\u7d22\u8edf\u9ad4/"
                                         L"\u5c08\u5229\u6aa2\u7d22\u5217\u8868.xlsx");
  EXPECT_EQ(text(local_path("c:\\corvana\\a b.docx")), "c:/corvana/a b.docx");
}
#endif

TEST(WindowsForm, UsesBackslashesWithoutTrailingSeparator) {
  EXPECT_EQ(windows_form(kProductFolder), "C:\\corvana\\TRAVO專利檢索軟體");
  EXPECT_EQ(windows_form("C:/"), "C:\\");
  EXPECT_EQ(windows_form("C:\\a\\"), "C:\\a");
}

}  // namespace
}  // namespace travo::platform
