// Helpers for tests that watch processes: waiting on a condition rather than
// on time, and telling whether a process id still names a live process.
#pragma once

#include <chrono>
#include <thread>

#include "travo/platform/process.h"

namespace travo::platform::test_support {

// Polls `done` until it holds or `bound` has passed; returns its last
// answer. The bound only keeps a broken build from hanging and is far above
// what a loaded machine needs.
template <typename Condition>
bool eventually(Condition done, std::chrono::seconds bound = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// True when `id` names no running process: it has exited (a zombie counts
// as gone) or never existed. Linux reads /proc; Windows opens the process.
bool process_gone(Process_Id id);

}  // namespace travo::platform::test_support
