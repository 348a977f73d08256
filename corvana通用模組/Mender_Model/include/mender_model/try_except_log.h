// The action wrapper of the window's event loop.
//
// Every action a window runs (a button's click, a timer step) is handed to
// the toolkit in wrapped form. The wrapped action runs the original one and
// absorbs whatever it throws, so that no exception ever unwinds through the
// toolkit's event dispatch. A failed action is reported as exactly one line
// on the report stream (standard error unless another stream is given):
//
//   [try_except_log] <action name>: <description>
//
// where the description is what() of a std::exception (line feeds folded to
// spaces so the report stays one line) or "unknown exception". Nothing else
// is written, and the wrapped action never throws.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace mender_model {

using Action = std::function<void()>;

// Wraps `action`; failures are reported on std::cerr. An empty `action`
// yields a wrapped action that reports "no action" when run.
Action try_except_log(std::string action_name, Action action);

// As above, reporting on `report`, which must outlive the returned action.
Action try_except_log(std::string action_name, Action action, std::ostream& report);

// The report line for a failed action, without the trailing line feed.
std::string failure_line(std::string_view action_name, std::string_view description);

}  // namespace mender_model
