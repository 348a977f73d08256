// Running LibreOffice privately: finding the launcher, the command line of a
// headless office with a profile of its own, seeding that profile so its
// first start is no slower than later ones, and reading back what the
// office logged. Shared by the one-shot and the resident conversions.
//
// A private folder (made by the converter) holds everything an office
// writes: its profiles, its temporary files (office_environment() points
// TMPDIR there) and its logs, so removing the folder leaves nothing behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace platen_model::detail {

// The LibreOffice launcher: `configured` if given (it must be executable),
// else `soffice` on PATH, /usr/bin/soffice or the program folder of
// Debian's LibreOffice. Throws std::runtime_error naming what was tried.
std::filesystem::path find_soffice(const std::string& configured);

// The command line of a headless office without UI, restore, lock check or
// start document, using `profile` as its user installation.
std::vector<std::string> office_command(const std::filesystem::path& soffice, const std::filesystem::path& profile);

// Environment entries for an office whose private folder is `private_dir`.
std::vector<std::string> office_environment(const std::filesystem::path& private_dir);

// Creates the profile folder `profile` for `soffice` unless it exists.
void seed_profile(const std::filesystem::path& profile, const std::filesystem::path& soffice);

// A file URL for `path` (made absolute) with every byte outside the
// unreserved set percent-encoded: it contains no spaces or newlines.
std::string file_url(const std::filesystem::path& path);

// Opens (truncating) a log file for an office's standard output and error;
// the descriptor is close-on-exec. Throws std::runtime_error on failure.
int open_log(const std::filesystem::path& path);

// The tail of an office's log on one line (" | " between lines), without
// the launcher's harmless complaint about Java; empty if nothing was said.
std::string office_log(const std::filesystem::path& log);

// `message`, followed by "; LibreOffice said: " and `log` if `log` is not
// empty.
std::string with_log(std::string message, const std::string& log);

// "1.5 s" for 1500 ms.
std::string seconds_text(std::chrono::milliseconds d);

// 16 random hex digits, for names no other converter picks.
std::string random_token();

}  // namespace platen_model::detail
