// Shell: how the window hands work to the operating system's desktop.
//
// Two operations, both returning at once without waiting for the program
// they start; each returns false when nothing could be started:
//   start_detached(program, arguments)  starts a program as a new process
//   open_url(address)                   opens an address with the default
//                                       web browser
// desktop_shell() gives the real ones: on Windows a process created from the
// command line "program arguments..." joined by single spaces (handed over
// as one text) and the shell's default handler for addresses; elsewhere the
// program started directly and addresses given to xdg-open. Tests replace
// either operation with their own.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace travo::gui {

struct Shell {
  std::function<bool(const std::string& program, const std::vector<std::string>& arguments)> start_detached;
  std::function<bool(const std::string& address)> open_url;
};

Shell desktop_shell();

// A program and its arguments.
struct Process_Start {
  std::string program;
  std::vector<std::string> arguments;
};

// What opens the output folder in the file manager: on Windows
// "explorer C:\corvana\TRAVO專利檢索軟體"; elsewhere xdg-open on the folder
// that stands for it on this machine.
Process_Start output_folder_command();

// The product page: port 34008, path "/TRAVO專利檢索軟體".
inline constexpr int kProductPort = 34008;
inline constexpr const char* kProductPath = "/TRAVO專利檢索軟體";
// The web host of the product page when configuration names none.
inline constexpr const char* kDefaultProductHost = "localhost";

// "<scheme>://<host>:34008/TRAVO專利檢索軟體". Throws std::invalid_argument
// if `host` is empty or holds a scheme, port, path or space.
std::string product_page_url(std::string_view scheme, std::string_view host);

}  // namespace travo::gui
