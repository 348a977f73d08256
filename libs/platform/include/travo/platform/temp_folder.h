// Private working folders: a new, empty folder with a name no other process
// picks, for the files a component keeps while it runs (a converter's
// office profiles, its temporary files). The caller removes it.
#pragma once

#include <filesystem>
#include <string_view>

namespace travo::platform {

// The system's folder for temporary files: $TMPDIR, else /tmp on POSIX
// systems; GetTempPathW on Windows.
std::filesystem::path temp_directory();

// Creates "<prefix><random>" under `base` (empty: temp_directory()) and
// returns its absolute path. On POSIX systems only its owner may enter it
// (mode 0700, as mkdtemp makes it); on Windows it inherits the folder's
// permissions (the user's own temporary folder by default). Throws
// std::system_error naming `base` when it cannot be created.
std::filesystem::path create_private_folder(std::string_view prefix, const std::filesystem::path& base = {});

}  // namespace travo::platform
