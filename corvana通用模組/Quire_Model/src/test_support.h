// Helpers shared by the Quire_Model tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "travo/docx/document.h"
#include "travo/docx/package.h"
#include "quire_model/document.h"

#include "travo/platform/environment.h"
#include "travo/platform/utf8.h"

namespace quire_model::test_support {

// Names most case files use; `using namespace test_support` brings them.
namespace fs = std::filesystem;
using ::testing::HasSubstr;

inline std::filesystem::path testdata(const std::string& name) {
  return travo::platform::utf8_path(TRAVO_SOURCE_DIR "/corvana通用模組/Quire_Model/testdata/" + name);
}

// `p` as UTF-8 with forward slashes, as job files and messages write paths.
inline std::string generic_utf8(const std::filesystem::path& p) {
  std::string s = travo::platform::utf8_string(p);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// A fresh folder, removed with everything in it when the object goes.
class Temp_Dir {
 public:
  Temp_Dir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("quire-test-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~Temp_Dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  Temp_Dir(const Temp_Dir&) = delete;
  Temp_Dir& operator=(const Temp_Dir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Names are UTF-8, as everywhere in the program (Chinese names included).
  std::filesystem::path operator/(const char* name) const { return path_ / travo::platform::utf8_path(name); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / travo::platform::utf8_path(name); }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object.
class Scoped_Env {
 public:
  Scoped_Env(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    travo::platform::set_environment_variable(name, value);
  }
  ~Scoped_Env() {
    if (old_) travo::platform::set_environment_variable(name_, *old_);
    else travo::platform::unset_environment_variable(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Collects what the engine writes to std::cout while the object lives.
class Capture_Stdout {
 public:
  Capture_Stdout() : old_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~Capture_Stdout() { std::cout.rdbuf(old_); }
  Capture_Stdout(const Capture_Stdout&) = delete;
  Capture_Stdout& operator=(const Capture_Stdout&) = delete;
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

// A Document with the fixture `name` registered under version "v" and
// opened.
inline Quire_Model::Document open_fixture(const std::string& name) {
  Quire_Model::Document doc;
  doc.set_word_version_path("v", testdata(name).string());
  doc.run_version("v");
  return doc;
}

// The main part's XML as it would be saved now.
inline std::string document_xml(travo::docx::Document& d) {
  d.package().mark_modified(d.main_part_name());
  return d.package().part_data(d.main_part_name());
}

// The fixture `name`, with its word/document.xml passed through `edit`,
// saved as `out`.
inline void edit_fixture(const std::string& name, const std::filesystem::path& out,
                         const std::function<std::string(std::string)>& edit) {
  travo::docx::Package pkg = travo::docx::Package::open(testdata(name));
  pkg.set_part_data("word/document.xml", edit(pkg.part_data("word/document.xml")));
  pkg.save(out);
}

inline std::string replace_all_text(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

}  // namespace quire_model::test_support
