// UTF-8 at the edges: paths, the environment, console lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "travo/platform/console.h"
#include "travo/platform/environment.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;

const std::string kName = "專利 檢索列表 (1).xlsx";

TEST(Utf8Path, NamesWithChineseAndSpacesSurviveTheFileSystem) {
  const fs::path dir = fs::temp_directory_path() / utf8_path("utf8 測試-" + std::to_string(current_process_id()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / utf8_path(kName);
  { std::ofstream(file) << "x"; }
  ASSERT_TRUE(fs::exists(file));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(utf8_string(e.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{kName});
  EXPECT_EQ(utf8_path(utf8_string(file)), file);
  fs::remove_all(dir);
}

TEST(Environment, SetReplaceAndUnset) {
  const std::string name = "TRAVO_TEXT_TEST_" + std::to_string(current_process_id());
  set_environment_variable(name, "石墨烯 a=b");
  ASSERT_NE(std::getenv(name.c_str()), nullptr);
  set_environment_variable(name, "second");
  EXPECT_STREQ(std::getenv(name.c_str()), "second");
  unset_environment_variable(name);
  EXPECT_EQ(std::getenv(name.c_str()), nullptr);
  unset_environment_variable(name);  // unsetting twice is no error
  EXPECT_THROW(set_environment_variable("A=B", "x"), std::invalid_argument);
  EXPECT_THROW(set_environment_variable("", "x"), std::invalid_argument);
}

// What the console sink receives: whole characters only, at line ends and
// flushes, whatever pieces the text was written in.
TEST(Utf8LineBuffer, NeverSplitsACharacterAndFlushesAtLineEnds) {
  std::vector<std::string> seen;
  {
    Utf8_Line_Buffer buffer([&](std::string_view s) { seen.emplace_back(s); });
    std::ostream out(&buffer);
    const std::string word = "石墨烯";  // 3 bytes per character
    out << word.substr(0, 4) << std::flush;  // one character and a third
    EXPECT_EQ(seen, std::vector<std::string>{"石"});
    out << word.substr(4) << "\n";
    EXPECT_EQ(seen.back(), "墨烯\n");
    out << "完成";  // no line end: held until the buffer goes
    EXPECT_EQ(seen.size(), 2u);
  }
  EXPECT_EQ(seen.back(), "完成");
}

TEST(Utf8LineBuffer, PassesBytesThatAreNotUtf8) {
  std::string got;
  {
    Utf8_Line_Buffer buffer([&](std::string_view s) { got += s; });
    std::ostream out(&buffer);
    out << std::string("\xff\xfe", 2) << std::string("\xe7", 1);  // ends in a lone lead byte
  }
  EXPECT_EQ(got, std::string("\xff\xfe\xe7", 3));
}

}  // namespace
}  // namespace travo::platform
