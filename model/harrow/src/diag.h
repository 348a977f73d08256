// Diagnostic lines on standard output, whole lines even from several threads.
#pragma once

#include <string_view>

namespace travo::harrow {

void diag_line(std::string_view line);

}  // namespace travo::harrow
