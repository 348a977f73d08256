// Helpers shared by the docx tests.
#pragma once

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "travo/docx/document.h"
#include "travo/platform/utf8.h"

namespace travo::docx::test_support {

// Matchers most case files use; `using namespace test_support` brings them.
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

inline std::filesystem::path testdata(const std::string& name) {
  return travo::platform::utf8_path(TRAVO_SOURCE_DIR "/libs/docx/testdata/" + name);
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder, removed with everything in it when the object goes.
class Temp_Dir {
 public:
  Temp_Dir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("docx-test-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~Temp_Dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// `doc` saved and read back, as a later opening would see it.
inline Document reopen(Document& doc) { return Document::from_bytes(doc.to_bytes()); }

}  // namespace travo::docx::test_support
