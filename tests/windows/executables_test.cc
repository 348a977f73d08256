// The shipped programs as Windows sees them: the version resource that
// Explorer's Properties and an upgrade read, and the subsystem that decides
// whether a console opens beside the program.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "executables_expected.h"  // kVersion, kPrograms (made by CMake)
#include "travo/platform/utf8.h"

namespace {

using travo::platform::utf16_from_utf8;
using travo::platform::utf8_from_utf16;

std::wstring program_path(const std::string& name) {
  const char* bin = std::getenv("TRAVO_BIN_DIR");
  return utf16_from_utf8(std::string(bin ? bin : ".") + "/" + name + ".exe");
}

struct Version_Info {
  VS_FIXEDFILEINFO fixed{};
  std::string product_name, file_description, file_version, product_version, original_filename;
};

// Reads the resource through the same calls Explorer makes. Failures come
// back as a message; an empty one means success.
std::string read_version_info(const std::wstring& path, Version_Info& out) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return "no version resource (error " + std::to_string(GetLastError()) + ")";
  std::vector<char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return "GetFileVersionInfoW failed";

  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return "no fixed file info";
  }
  std::memcpy(&out.fixed, value, sizeof out.fixed);

  // The strings live under the language and code page that the resource
  // itself lists first.
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return "no translation list";
  }
  const auto* translation = static_cast<const WORD*>(value);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%04x%04x", translation[0], translation[1]);
  const std::wstring prefix = L"\\StringFileInfo\\" + utf16_from_utf8(hex) + L"\\";
  auto text = [&](const wchar_t* key, std::string& field) {
    void* v = nullptr;
    UINT n = 0;
    const std::wstring query = prefix + key;
    if (!VerQueryValueW(block.data(), query.c_str(), &v, &n) || n == 0) return false;
    std::wstring_view s(static_cast<const wchar_t*>(v), n);
    while (!s.empty() && s.back() == L'\0') s.remove_suffix(1);
    field = utf8_from_utf16(s);
    return true;
  };
  if (!text(L"ProductName", out.product_name)) return "no ProductName";
  if (!text(L"FileDescription", out.file_description)) return "no FileDescription";
  if (!text(L"FileVersion", out.file_version)) return "no FileVersion";
  if (!text(L"ProductVersion", out.product_version)) return "no ProductVersion";
  if (!text(L"OriginalFilename", out.original_filename)) return "no OriginalFilename";
  return {};
}

// The subsystem field of the program's PE header, read from the file.
int pe_subsystem(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  IMAGE_DOS_HEADER dos{};
  if (!in.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return -1;
  IMAGE_NT_HEADERS64 nt{};
  in.seekg(dos.e_lfanew);
  if (!in.read(reinterpret_cast<char*>(&nt), sizeof nt) || nt.Signature != IMAGE_NT_SIGNATURE) return -1;
  return nt.OptionalHeader.Subsystem;
}

TEST(VersionResource, EveryShippedProgramCarriesTheBuildsVersionAndItsOwnDescription) {
  int major = 0, minor = 0, patch = 0;
  ASSERT_EQ(std::sscanf(kVersion, "%d.%d.%d", &major, &minor, &patch), 3) << kVersion;
  for (const auto& program : kPrograms) {
    SCOPED_TRACE(program.name);
    Version_Info info;
    const std::string error = read_version_info(program_path(program.name), info);
    ASSERT_EQ(error, "");
    EXPECT_EQ(info.product_name, "TRAVO專利檢索軟體");
    EXPECT_EQ(info.file_description, program.description);
    EXPECT_EQ(info.file_version, kVersion);
    EXPECT_EQ(info.product_version, kVersion);
    EXPECT_EQ(info.original_filename, std::string(program.name) + ".exe");
    // The numeric fields, which installers and Windows Update compare.
    EXPECT_EQ(info.fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.fixed.dwFileVersionMS, static_cast<DWORD>(major << 16 | minor));
    EXPECT_EQ(info.fixed.dwFileVersionLS, static_cast<DWORD>(patch << 16));
    EXPECT_EQ(info.fixed.dwProductVersionMS, info.fixed.dwFileVersionMS);
    EXPECT_EQ(info.fixed.dwProductVersionLS, info.fixed.dwFileVersionLS);
  }
}

TEST(VersionResource, ATestProgramNamesItselfAsOne) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  Version_Info info;
  ASSERT_EQ(read_version_info(self, info), "");
  EXPECT_EQ(info.file_description, "TRAVO 測試程式 windows_executables_test");
  EXPECT_EQ(info.file_version, kVersion);
}

// Only the window program is a GUI program: started from Explorer or the
// Start menu it opens no console; the others are console programs.
TEST(Subsystem, OnlyTheWindowProgramIsAGuiProgram) {
  for (const auto& program : kPrograms) {
    SCOPED_TRACE(program.name);
    const int expected = std::string(program.name) == "travo" ? IMAGE_SUBSYSTEM_WINDOWS_GUI : IMAGE_SUBSYSTEM_WINDOWS_CUI;
    EXPECT_EQ(pe_subsystem(program_path(program.name)), expected);
  }
}

}  // namespace
