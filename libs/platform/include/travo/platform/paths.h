// The one place that knows where the fixed Windows paths of TRAVO live on
// this machine.
//
// The system's files sit under fixed folders on drive C: ("C:/corvana/" and
// below). On Windows those texts are used as they stand. Elsewhere the folder
// "C:/corvana/" is mapped to the folder named by the environment variable
// CORVANA_ROOT, or "$HOME/corvana/" when it is unset or empty. On Windows a
// non-empty CORVANA_ROOT moves it too, so that tests (which run side by
// side) never touch the real folder. Every other path is used unchanged.
// Paths are UTF-8 text; the results reach the system as UTF-16 on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace travo::platform {

// The product's fixed places, as the system writes them.
inline constexpr std::string_view kCorvanaFolder = "C:/corvana/";
inline constexpr std::string_view kProductFolder = "C:/corvana/TRAVO專利檢索軟體/";
inline constexpr std::string_view kSearchListFile = "C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx";
static_assert(kProductFolder.starts_with(kCorvanaFolder) && kSearchListFile.starts_with(kProductFolder));

// The local folder that stands for "C:/corvana/" (read from the environment
// on every call, so tests may point it elsewhere).
std::filesystem::path corvana_root();

// Maps a path written as the system writes it ("C:/corvana/TRAVO專利檢索軟體/
// 專利檢索列表.xlsx", either slash direction, any case of the drive letter)
// to the local file system. Paths outside "C:/corvana" come back unchanged.
std::filesystem::path local_path(std::string_view system_path);

// The product folder and the search list on this machine.
std::filesystem::path product_folder();
std::filesystem::path search_list_path();

// Creates "C:/corvana/" and then the product folder, each unless it exists.
// Failures are not reported here (they surface when a file is written
// there); returns whether the product folder exists afterwards.
bool ensure_product_folders();

// The same, for a program that cannot go on without the folder: empty when
// the product folder exists afterwards, else a one-line message (Traditional
// Chinese, for the user) naming the local folder and the system's reason.
std::string ensure_product_folders_or_reason();

// A system path as the Windows shell takes it: backslashes, no trailing
// separator ("C:\corvana\TRAVO專利檢索軟體").
std::string windows_form(std::string_view system_path);

// The folder that holds the running executable (absolute), or the current
// folder when it cannot be determined.
std::filesystem::path executable_dir();

}  // namespace travo::platform
