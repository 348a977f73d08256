// Helpers for tests that watch processes: waiting on a condition rather than
// on time (eventually.h), and telling whether a process id still names a
// live process.
#pragma once


#include "travo/platform/eventually.h"
#include "travo/platform/process.h"

namespace travo::platform::test_support {

// True when `id` names no running process: it has exited (a zombie counts
// as gone) or never existed. Linux reads /proc; Windows opens the process.
bool process_gone(Process_Id id);

}  // namespace travo::platform::test_support
