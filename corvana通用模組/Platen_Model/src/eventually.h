// Tests wait on conditions, not on time: a process killed a moment ago may
// still be listed, a file a child writes may not be there yet.
#pragma once

#include <chrono>
#include <thread>

namespace platen_model::test_support {

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

}  // namespace platen_model::test_support
