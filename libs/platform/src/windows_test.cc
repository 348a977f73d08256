// The platform layer on Windows: Windows' sharing rules, read-only files,
// wide file names, registered programs and the manifest. Built twice: with the manifest, and
// without it (TRAVO_EXPECT_NO_MANIFEST), where the process runs under the
// system's ANSI code page and nothing may depend on UTF-8 narrow calls.
#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "travo/platform/atomic_file.h"
#include "travo/platform/environment.h"
#include "travo/platform/paths.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Names in `dir` as the wide API reports them, in UTF-8.
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE h = ::FindFirstFileW((dir / L"*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring n = found.cFileName;
    if (n != L"." && n != L"..") names.push_back(utf8_from_utf16(n));
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

// Another party holding the file open, as a reader in another program
// would (sharing rules apply per handle, so a handle of ours behaves the
// same as one in another process).
class Open_Handle {
 public:
  Open_Handle(const fs::path& p, DWORD share)
      : h_(::CreateFileW(p.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Open_Handle() { close(); }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (ok()) ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  std::string read_all() {
    std::string out(256, '\0');
    DWORD got = 0;
    ::SetFilePointer(h_, 0, nullptr, FILE_BEGIN);
    ::ReadFile(h_, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
    out.resize(got);
    return out;
  }

 private:
  HANDLE h_;
};

class WindowsAtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           utf8_path("專利 檢索-" + std::to_string(current_process_id()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    target_ = dir_ / utf8_path("專利檢索列表 1.xlsx");
  }
  void TearDown() override {
    ::SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_);
  }
  fs::path dir_;
  fs::path target_;
};

TEST_F(WindowsAtomicFileTest, ChineseNamesWithSpacesReachTheDiskIntact) {
  atomic_write(target_, "one");
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"專利檢索列表 1.xlsx"});
  atomic_write_with(target_, [](const fs::path& temporary) {
    // A library writing by name, the way the narrow C runtime cannot.
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << "two";
  });
  EXPECT_EQ(read(target_), "two");
  const fs::path source = dir_ / utf8_path("來源 檔案.docx");
  { std::ofstream(source, std::ios::binary) << "three"; }
  atomic_install(source, target_);
  EXPECT_EQ(read(target_), "three");
  EXPECT_EQ(listing(dir_), (std::vector<std::string>{"來源 檔案.docx", "專利檢索列表 1.xlsx"}));
}

// A reader that allows deletion (FILE_SHARE_DELETE, as Explorer's preview
// and many viewers open files). Windows 10 renames over such a file, and
// the reader keeps the old content; Wine 8 refuses the rename (access
// denied) as older Windows did. Either way the result is whole: the new
// file, or the old one with a cannot_replace error and no temporary left.
TEST_F(WindowsAtomicFileTest, ATargetOpenWithShareDeleteIsReplacedOrKeptWhole) {
  atomic_write(target_, "old");
  Open_Handle reader(target_, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(reader.ok());
  bool replaced = true;
  try {
    atomic_write(target_, "new");
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::cannot_replace);
    replaced = false;
  }
  std::cout << "rename over a target open with FILE_SHARE_DELETE: " << (replaced ? "replaced" : "refused") << "\n";
  EXPECT_EQ(reader.read_all(), "old");
  reader.close();
  EXPECT_EQ(read(target_), replaced ? "new" : "old");
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"專利檢索列表 1.xlsx"});
}

// A reader without FILE_SHARE_DELETE (Excel holding the workbook, a plain
// fopen) forbids renaming over the file: the replacement fails with
// cannot_replace, leaves the target and no temporary file, and works once
// the reader has gone.
TEST_F(WindowsAtomicFileTest, ATargetOpenWithoutShareDeleteIsLeftAsItWas) {
  atomic_write(target_, "old");
  Open_Handle reader(target_, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(reader.ok());
  try {
    atomic_write(target_, "new");
    ADD_FAILURE() << "replaced a file open without FILE_SHARE_DELETE";
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::cannot_replace);
    EXPECT_NE(std::string(e.what()).find("open in another program"), std::string::npos) << e.what();
  }
  EXPECT_EQ(reader.read_all(), "old");
  reader.close();
  EXPECT_EQ(read(target_), "old");
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"專利檢索列表 1.xlsx"});
  atomic_write(target_, "new");
  EXPECT_EQ(read(target_), "new");
}

// A read-only file is the user's "do not change this": it stays as it is
// and the failure says why.
TEST_F(WindowsAtomicFileTest, AReadOnlyTargetIsRefusedAndKept) {
  atomic_write(target_, "kept");
  ASSERT_TRUE(::SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    atomic_write(target_, "new");
    ADD_FAILURE() << "replaced a read-only file";
  } catch (const Atomic_File_Error& e) {
    EXPECT_EQ(e.reason(), Atomic_File_Failure::cannot_replace);
    EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
  }
  EXPECT_EQ(read(target_), "kept");
  EXPECT_EQ(listing(dir_), std::vector<std::string>{"專利檢索列表 1.xlsx"});
}

TEST(WindowsText, Utf16RoundTripAndInvalidInput) {
  const std::string text = "石墨烯 graphene \xF0\x9F\x93\x84";  // with a character beyond the BMP
  const std::wstring wide = utf16_from_utf8(text);
  EXPECT_EQ(wide.substr(0, 3), L"\u77f3\u58a8\u70ef");
  EXPECT_EQ(wide.size(), 3u + 10u + 2u);  // the last one is a surrogate pair
  EXPECT_EQ(utf8_from_utf16(wide), text);
  EXPECT_THROW(utf16_from_utf8("bad \xff"), std::invalid_argument);
  EXPECT_EQ(utf8_from_utf16(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(WindowsText, EnvironmentValuesAreWideOnTheWayIn) {
  const std::string name = "TRAVO_WIDE_" + std::to_string(current_process_id());
  set_environment_variable(name, "石墨烯 檢索");
  wchar_t buf[64];
  const DWORD n = ::GetEnvironmentVariableW(utf16_from_utf8(name).c_str(), buf, 64);
  EXPECT_EQ(std::wstring(buf, n), L"\u77f3\u58a8\u70ef \u6aa2\u7d22");
  unset_environment_variable(name);
  EXPECT_EQ(::GetEnvironmentVariableW(utf16_from_utf8(name).c_str(), buf, 64), 0u);
}

// An installer's App Paths entry, quoted and with a variable in it, as
// LibreOffice's installer writes one.
TEST(WindowsPrograms, RegisteredAppPathIsFound) {
  const std::wstring exe = L"travo-app-path-" + std::to_wstring(current_process_id()) + L".exe";
  const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exe;
  wchar_t self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const fs::path program(self);
  set_environment_variable("TRAVO_APP_PATH_DIR", utf8_string(program.parent_path()));
  const std::wstring value = L"\"%TRAVO_APP_PATH_DIR%\\" + program.filename().wstring() + L"\"";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_EXPAND_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const auto found = registered_app_path(utf8_from_utf16(exe));
  ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  unset_environment_variable("TRAVO_APP_PATH_DIR");
  ASSERT_TRUE(found.has_value());
  EXPECT_TRUE(fs::equivalent(*found, program)) << utf8_string(*found);
  EXPECT_FALSE(registered_app_path(utf8_from_utf16(exe)).has_value());
}

// The manifest is in the program, and what the system made of it. Wine 8
// honours activeCodePage (GetACP() and GetOEMCP() report 65001).
TEST(WindowsManifest, CodePageFollowsTheManifest) {
  const HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  const UINT acp = ::GetACP();
  std::cout << "GetACP() = " << acp << ", GetOEMCP() = " << ::GetOEMCP() << "\n";
#ifdef TRAVO_EXPECT_NO_MANIFEST
  EXPECT_EQ(manifest, nullptr);
  if (acp == CP_UTF8) GTEST_SKIP() << "the system itself uses UTF-8 as its ANSI code page";
  EXPECT_NE(acp, static_cast<UINT>(CP_UTF8));
#else
  ASSERT_NE(manifest, nullptr);
  const HGLOBAL loaded = ::LoadResource(nullptr, manifest);
  const std::string text(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(nullptr, manifest));
  EXPECT_NE(text.find("<activeCodePage"), std::string::npos);
  EXPECT_NE(text.find(">UTF-8</activeCodePage>"), std::string::npos);
  // Windows 10 1903 and later honour it; older systems ignore it, which is
  // why nothing depends on it.
  EXPECT_EQ(acp, static_cast<UINT>(CP_UTF8));
#endif
}

}  // namespace
}  // namespace travo::platform
