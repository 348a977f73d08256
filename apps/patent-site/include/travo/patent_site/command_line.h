// Command-line arguments of the patent-site executable.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "travo/patent_site/patent_site.h"

namespace travo::patent_site {

struct Command_Line {
  Options options;
  bool help = false;
};

// Parses arguments (without the program name). Options take their value as
// the next argument or after "=" ("--port 0", "--port=0"). Throws
// std::invalid_argument with a message naming the offending argument.
Command_Line parse_command_line(std::span<const std::string_view> args);

// The usage text printed for --help.
std::string usage();

}  // namespace travo::patent_site
