// The front end's differences between systems, in one place: os_windows.cc
// or os_posix.cc, chosen in CMake. Shared code calls these and holds no
// system test of its own.
#pragma once

#include <QProcess>
#include <QUrl>
#include <string>
#include <vector>

namespace travo::gui::os {

// Hands `arguments` to `process` the way the system's programs read them.
void set_arguments(QProcess& process, const std::vector<std::string>& arguments);

// Opens `url` with the user's default web browser; false when nothing could
// be started.
bool open_url(const QUrl& url);

// The file `name` of the template folder "格式範本" inside `program_folder`.
std::string template_file(const std::string& program_folder, const std::string& name);

// Shows `text` in a modal error box titled `title`, where there is a desktop
// to show it on; returns when the user has dismissed it.
void show_error_box(const std::string& title, const std::string& text);

}  // namespace travo::gui::os

namespace travo::gui {

// Starts `program` with `arguments` as a new process, without waiting
// (shell.cc); false when it could not be started.
bool start_detached(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace travo::gui
