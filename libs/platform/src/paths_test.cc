#include "travo/platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
}  // namespace travo::platform
