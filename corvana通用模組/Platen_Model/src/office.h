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
#include <utility>
#include <vector>

namespace platen_model::detail {

using Clock = std::chrono::steady_clock;

// The environment variable that names the LibreOffice launcher when the
// options do not.
inline constexpr const char* kSofficeVariable = "TRAVO_SOFFICE";

// The LibreOffice launcher: `configured` if given (it must be executable),
// else $TRAVO_SOFFICE if set, else installed_soffice(). Throws
// std::runtime_error naming what was tried and what to install.
std::filesystem::path find_soffice(const std::string& configured);

// The Python that runs the UNO helper: `configured` if given, else
// default_python(soffice).
std::filesystem::path find_python(const std::string& configured, const std::filesystem::path& soffice);

// The command line of a headless office without UI, restore, lock check or
// start document, using `profile` as its user installation.
std::vector<std::string> office_command(const std::filesystem::path& soffice, const std::filesystem::path& profile);


// Report templates name Windows fonts, which Linux lacks; left to itself
// fontconfig gives their Chinese Noto Sans CJK JP, with Japanese glyph
// shapes. The office's own configuration maps each to the closest free
// font, ahead of what the system's rules say, and changes nothing outside
// the office:
//   標楷體, DFKai-SB                          AR PL UKai TW
//   新細明體, PMingLiU, 細明體, MingLiU        AR PL UMing TW
//   Microsoft JhengHei, 微軟正黑體            Noto Sans CJK TC
//   Calibri                                   Carlito
//   Times New Roman                           Liberation Serif
//   Arial                                     Liberation Sans
struct Font_Substitute {
  const char* family;
  const char* substitute;
};
inline constexpr Font_Substitute kFontSubstitutes[] = {
    {"標楷體", "AR PL UKai TW"},           {"DFKai-SB", "AR PL UKai TW"},
    {"新細明體", "AR PL UMing TW"},        {"PMingLiU", "AR PL UMing TW"},
    {"細明體", "AR PL UMing TW"},          {"MingLiU", "AR PL UMing TW"},
    {"Microsoft JhengHei", "Noto Sans CJK TC"}, {"微軟正黑體", "Noto Sans CJK TC"},
    {"Calibri", "Carlito"},               {"Times New Roman", "Liberation Serif"},
    {"Arial", "Liberation Sans"},
};

// The file the office's FONTCONFIG_FILE names: `private_dir`/fonts.conf.
std::filesystem::path font_config_path(const std::filesystem::path& private_dir);

// Writes font_config_path(private_dir): the configuration fontconfig would
// read otherwise ($FONTCONFIG_FILE when set, else /etc/fonts/fonts.conf),
// then one strong rule per kFontSubstitutes entry.
void write_font_config(const std::filesystem::path& private_dir);

// Creates the profile folder `profile` for `soffice` unless it exists. The
// folder appears complete or not at all; a failed write throws
// std::runtime_error naming the profile and the cause.
void seed_profile(const std::filesystem::path& profile, const std::filesystem::path& soffice);

// A file URL for `path` (made absolute) with every byte of its UTF-8 form
// outside the unreserved set percent-encoded: it contains no spaces or
// newlines. "file:///tmp/a%20b" here, "file:///C:/Users/a%20b" on Windows.
std::string file_url(const std::filesystem::path& path);

// The last `max_bytes` of a file (whole lines where possible), trimmed;
// empty if the file is missing.
std::string file_tail(const std::filesystem::path& path, std::size_t max_bytes = 2000);

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

// What differs between systems; office_posix.cc and office_windows.cc, one
// of them chosen by CMake.

// Where LibreOffice installs itself: on Windows the App Paths entry of
// soffice.exe in the registry, %ProgramFiles%\LibreOffice\program,
// %ProgramFiles(x86)%\..., then soffice.exe on PATH; elsewhere `soffice` on
// PATH, /usr/bin/soffice or the program folder of Debian's LibreOffice.
// Throws std::runtime_error naming the places tried and what to install.
std::filesystem::path installed_soffice();

// The Python that runs the UNO helper unless configured: LibreOffice's own
// python.exe beside `soffice` on Windows, /usr/bin/python3 (with Debian's
// python3-uno) elsewhere.
std::filesystem::path default_python(const std::filesystem::path& soffice);

// Environment entries for an office whose private folder is `private_dir`:
// its temporary folder, and (not on Windows) FONTCONFIG_FILE naming the
// font configuration that prepare_private_folder wrote there.
std::vector<std::pair<std::string, std::string>> office_environment(const std::filesystem::path& private_dir);

// Writes what an office started with office_environment(private_dir)
// reads from the private folder: the font configuration (write_font_config)
// except on Windows, which has the fonts themselves.
void prepare_private_folder(const std::filesystem::path& private_dir);

// The part of a file URL for `path` that follows "file://", before
// percent-encoding: "/tmp/a b" (made absolute), "/C:/a b" for a drive path
// and "server/share/a b" for a UNC path on Windows. `drive_colon` is the
// position of a drive letter's colon, which file_url keeps as it is.
struct Url_Path {
  std::string text;
  std::size_t drive_colon = std::string::npos;
};
Url_Path url_path(const std::filesystem::path& path);

// Removes what a killed office leaves behind of the UNO pipe `pipe_name`
// (on Linux its listening socket /tmp/OSL_PIPE_<uid>_<name>; nothing on
// Windows).
void remove_pipe_leftovers(const std::string& pipe_name);

}  // namespace platen_model::detail
