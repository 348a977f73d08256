// The one place that knows where the fixed Windows paths of TRAVO live on
// this machine.
//
// The system's files sit under fixed folders on drive C: ("C:/corvana/" and
// below). On Windows those texts are used as they stand. Elsewhere the folder
// "C:/corvana/" is mapped to the folder named by the environment variable
// CORVANA_ROOT, or "$HOME/corvana/" when it is unset or empty. Every other
// path is used unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace travo::platform {

// The local folder that stands for "C:/corvana/" (read from the environment
// on every call, so tests may point it elsewhere).
std::filesystem::path corvana_root();

// Maps a path written as the system writes it ("C:/corvana/TRAVO專利檢索軟體/
// 專利檢索列表.xlsx", either slash direction, any case of the drive letter)
// to the local file system. Paths outside "C:/corvana" come back unchanged.
std::filesystem::path local_path(std::string_view system_path);

// The folder that holds the running executable (absolute), or the current
// folder when it cannot be determined.
std::filesystem::path executable_dir();

}  // namespace travo::platform
