// Changing this process's environment, and its id, the same way on every
// system. Names and values are UTF-8; on Windows they reach the process's
// environment block (which child processes inherit) and the C runtime's
// copy both, as wide text.
//
// The environment is shared by the whole process: change it before other
// threads read it (tests do so in their set-up).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace travo::platform {

// The value of `name` as UTF-8; std::nullopt when it is not set.
std::optional<std::string> environment_variable(std::string_view name);

// Sets `name` to `value` (an empty value is kept as empty where the system
// allows it; Windows removes the variable instead). Throws
// std::system_error on failure and std::invalid_argument for a name that is
// empty or holds '='.
void set_environment_variable(std::string_view name, std::string_view value);

// Removes `name`; nothing happens when it is not set.
void unset_environment_variable(std::string_view name);

// This process's id.
unsigned long current_process_id();

}  // namespace travo::platform
