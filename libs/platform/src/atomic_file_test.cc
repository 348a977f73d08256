#include "travo/platform/atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "travo/platform/small_tmpfs.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;
using test_support::Small_Tmpfs;

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

void put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// Names in `dir`, sorted.
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The reason of the Atomic_File_Error that `f` throws.
template <typename F>
Atomic_File_Failure reason_of(F&& f) {
  try {
    f();
  } catch (const Atomic_File_Error& e) {
    return e.reason();
  }
  ADD_FAILURE() << "no Atomic_File_Error thrown";
  return Atomic_File_Failure::cannot_write;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("atomic_file_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  // Bytes that text-mode or C-string handling would mangle.
  const std::string binary_{"PK\x03\x04\0\r\n\x1a\xff tail", 15};
};

TEST_F(AtomicFileTest, BytesCreateOrReplaceTheTargetExactly) {
  const fs::path target = dir_ / travo::platform::utf8_path("專利檢索列表.xlsx");
  atomic_write(target, binary_);
  EXPECT_EQ(read(target), binary_);

  put(target, std::string(100000, 'o'));  // longer than the new content: no old tail may remain
  atomic_write(target, "new");
  EXPECT_EQ(read(target), "new");

  atomic_write(target, "");
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(fs::file_size(target), 0u);
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"專利檢索列表.xlsx"});
}

TEST_F(AtomicFileTest, WriterGetsAHiddenEmptyTemporaryBesideTheTarget) {
  const fs::path target = dir_ / "out.xlsx";
  put(target, "previous");
  fs::path seen;
  atomic_write_with(target, [&](const fs::path& temporary) {
    seen = temporary;
    EXPECT_EQ(temporary.parent_path(), dir_);
    EXPECT_EQ(temporary.filename().string().rfind(".out.xlsx.tmp-", 0), 0u) << temporary;
    EXPECT_EQ(fs::file_size(temporary), 0u);
    EXPECT_EQ(read(target), "previous");  // untouched while the writer works
    // Written by name, the way C libraries do.
    std::FILE* f = std::fopen(temporary.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(binary_.data(), 1, binary_.size(), f);
    std::fclose(f);
  });
  EXPECT_EQ(read(target), binary_);
  EXPECT_FALSE(fs::exists(seen));
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"out.xlsx"});
}

TEST_F(AtomicFileTest, FailedWriterLeavesThePreviousFileAndNoTemporary) {
  const fs::path target = dir_ / "list.xlsx";
  put(target, binary_);
  struct Writer_Failed {};

  // The writer's own exception reaches the caller unchanged.
  EXPECT_THROW(atomic_write_with(target,
                                 [](const fs::path& temporary) {
                                   put(temporary, "half a workbook");
                                   throw Writer_Failed{};
                                 }),
               Writer_Failed);
  EXPECT_EQ(read(target), binary_);
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"list.xlsx"});

  // A writer that leaves no file, or a folder, at the temporary path.
  EXPECT_EQ(reason_of([&] { atomic_write_with(target, [](const fs::path& t) { fs::remove(t); }); }),
            Atomic_File_Failure::cannot_write);
  EXPECT_EQ(reason_of([&] {
              atomic_write_with(target, [](const fs::path& t) {
                fs::remove(t);
                fs::create_directory(t);
              });
            }),
            Atomic_File_Failure::cannot_write);
  EXPECT_EQ(read(target), binary_);
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"list.xlsx"});
}

TEST_F(AtomicFileTest, MissingFolderAndFolderTargetAreRefusedBeforeWriting) {
  bool called = false;
  const auto writer = [&](const fs::path&) { called = true; };

  try {
    atomic_write(dir_ / "missing" / "a.docx", "x");
    FAIL() << "no error";
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::folder_missing);
    EXPECT_EQ(e.target(), dir_ / "missing" / "a.docx");
    EXPECT_EQ(e.cause(), "folder '" + (dir_ / "missing").string() + "' does not exist");
    EXPECT_EQ(std::string(e.what()), "cannot write '" + (dir_ / "missing" / "a.docx").string() + "': " + e.cause());
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing"));

  // A file where the folder should be.
  put(dir_ / "file", "x");
  EXPECT_EQ(reason_of([&] { atomic_write_with(dir_ / "file" / "a.docx", writer); }),
            Atomic_File_Failure::folder_missing);

  fs::create_directory(dir_ / "taken.docx");
  EXPECT_EQ(reason_of([&] { atomic_write(dir_ / "taken.docx", "x"); }), Atomic_File_Failure::target_is_folder);
  EXPECT_EQ(reason_of([&] { atomic_write_with(dir_ / "taken.docx", writer); }),
            Atomic_File_Failure::target_is_folder);
  EXPECT_TRUE(fs::is_empty(dir_ / "taken.docx"));
  EXPECT_FALSE(called);
  EXPECT_EQ(listing(dir_), (std::vector<std::string>{"file", "taken.docx"}));
}

TEST_F(AtomicFileTest, ReadOnlyAndFullFileSystemsKeepThePreviousFile) {
  // Root ignores permission bits, so the failures come from a real small
  // file system: remounted read-only, or filled up.
  Small_Tmpfs disk(dir_ / "mnt", "64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const fs::path target = dir_ / "mnt" / "list.xlsx";
  atomic_write(target, "previous");

  try {
    atomic_write(target, std::string(256 * 1024, 'x'));
    FAIL() << "no error";
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::cannot_write);
    EXPECT_EQ(e.code(), std::errc::no_space_on_device) << e.what();
  }
  EXPECT_EQ(read(target), "previous");
  EXPECT_EQ(listing(dir_ / "mnt"), std::vector<std::string>{"list.xlsx"});

  ASSERT_TRUE(disk.remount("ro"));
  try {
    atomic_write(target, "new");
    FAIL() << "no error";
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::cannot_create);
    EXPECT_EQ(e.code(), std::errc::read_only_file_system) << e.what();
  }
  EXPECT_EQ(reason_of([&] { atomic_install(dir_ / "mnt" / "list.xlsx", target); }),
            Atomic_File_Failure::cannot_create);
  EXPECT_EQ(read(target), "previous");
  disk.remount("rw");
}

TEST_F(AtomicFileTest, ConcurrentWritersNeverShareATemporary) {
  const fs::path target = dir_ / "shared.bin";
  std::vector<std::string> contents;
  for (int t = 0; t < 4; ++t) contents.push_back(std::string(4096 + t, static_cast<char>('a' + t)));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        if (i % 2) {
          atomic_write(target, contents[t]);
        } else {
          atomic_write_with(target, [&](const fs::path& temporary) { put(temporary, contents[t]); });
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  // Whole content of one writer, never a mix.
  EXPECT_NE(std::find(contents.begin(), contents.end(), read(target)), contents.end());
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"shared.bin"});
}

TEST_F(AtomicFileTest, InstallCopiesAFinishedFileFromElsewhere) {
  fs::create_directories(dir_ / "work");
  fs::create_directories(dir_ / "out");
  const fs::path source = dir_ / "work" / "report.pdf";
  const fs::path target = dir_ / "out" / travo::platform::utf8_path("報告.pdf");
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  put(source, big);
  put(target, "previous");

  atomic_install(source, target);
  EXPECT_EQ(read(target), big);
  EXPECT_EQ(read(source), big);  // the source is copied, not moved
  EXPECT_EQ(listing(dir_ / "out"), std::vector<std::string>{"報告.pdf"});

  // Bad sources fail before the target is touched.
  put(target, "previous");
  EXPECT_EQ(reason_of([&] { atomic_install(dir_ / "work" / "missing.pdf", target); }),
            Atomic_File_Failure::source_unreadable);
  EXPECT_EQ(reason_of([&] { atomic_install(dir_ / "work", target); }), Atomic_File_Failure::source_unreadable);
  EXPECT_EQ(reason_of([&] { atomic_install(source, dir_ / "gone" / travo::platform::utf8_path("報告.pdf")); }),
            Atomic_File_Failure::folder_missing);
  EXPECT_EQ(read(target), "previous");
  EXPECT_EQ(listing(dir_ / "out"), std::vector<std::string>{"報告.pdf"});
}

TEST_F(AtomicFileTest, InstallCrossesFileSystems) {
  Small_Tmpfs other(dir_ / "other", "1m");
  if (!other.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const fs::path source = dir_ / "other" / "converted.pdf";
  put(source, binary_);
  const fs::path target = dir_ / "converted.pdf";
  put(target, "previous");
  atomic_install(source, target);
  EXPECT_EQ(read(target), binary_);
  EXPECT_EQ(read(source), binary_);
}

}  // namespace
}  // namespace travo::platform
