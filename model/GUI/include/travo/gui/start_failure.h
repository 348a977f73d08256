// A failure before the main window opens, told to the user.
//
// travo is a window program: on Windows it has no console, so a message on
// standard error alone would go nowhere and the program would seem not to
// start. show_start_failure() shows the message in an error box titled
// "TRAVO專利檢索軟體" (the Windows API's box on Windows; on other systems
// Qt's, and only on a real display, beside the message the caller writes to
// standard error), returning when the user has dismissed it.
//
// record_file is for tests, which cannot click a modal box away: when it is
// not empty, the box is not shown and its text is written to that file
// instead (replacing it).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace travo::gui {

// The box's text for `message`: a first line saying that TRAVO could not
// start, then the message.
std::string start_failure_text(std::string_view message);

void show_start_failure(std::string_view message, const std::filesystem::path& record_file = {});

}  // namespace travo::gui
