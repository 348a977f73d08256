// Text is UTF-8 everywhere inside TRAVO; these are the conversions at the
// edge, where it meets file names and the Windows API.
//
// std::filesystem::path must not be built from, or read back as, a narrow
// std::string when the text may hold more than ASCII: on Windows (MinGW's
// libstdc++) the narrow constructor decodes with the C library's locale,
// not UTF-8, and with MSVC both directions use the ANSI code page. These
// two go through char8_t, which every library decodes as UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace travo::platform {

// The path named by UTF-8 `text`.
std::filesystem::path utf8_path(std::string_view text);

// `path` as UTF-8: for messages, and for the C libraries that take UTF-8
// file names on every system (libzip, libxlsxwriter as we build it).
std::string utf8_string(const std::filesystem::path& path);

#ifdef _WIN32
// UTF-8 to UTF-16 for the wide Windows API. Throws std::invalid_argument for
// bytes that are not UTF-8 (a name must never change on its way).
std::wstring utf16_from_utf8(std::string_view text);

// UTF-16 from the Windows API to UTF-8; an unpaired surrogate becomes
// U+FFFD.
std::string utf8_from_utf16(std::wstring_view text);
#endif

}  // namespace travo::platform
