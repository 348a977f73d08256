#include "mender_model/try_except_log.h"

#include <exception>
#include <iostream>
#include <stdexcept>
#include <utility>

namespace mender_model {

std::string failure_line(std::string_view action_name, std::string_view description) {
  std::string line = "[try_except_log] ";
  line += action_name;
  line += ": ";
  for (char c : description) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

Action try_except_log(std::string action_name, Action action, std::ostream& report) {
  return [name = std::move(action_name), action = std::move(action), &report]() noexcept {
    std::string description;
    try {
      if (!action) throw std::logic_error("no action");
      action();
      return;
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
      description = "unknown exception";
    }
    // Reporting must not throw either: a failing stream loses the line.
    try {
      report << failure_line(name, description) + "\n" << std::flush;
    } catch (...) {
    }
  };
}

Action try_except_log(std::string action_name, Action action) {
  return try_except_log(std::move(action_name), std::move(action), std::cerr);
}

}  // namespace mender_model
