#include "diag.h"

#include <cstdio>
#include <mutex>

namespace travo::harrow {

void diag_line(std::string_view line) {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace travo::harrow
