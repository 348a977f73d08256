// Tests wait on conditions, not on time: on a busy machine a request may
// reach a server, a thread may start or a worker may report a moment later
// than on an idle one.
#pragma once

#include <chrono>
#include <thread>

namespace travo::platform::test_support {

// Polls `done` until it holds or `bound` has passed; returns its last
// answer. The bound only keeps a broken build from hanging and is far above
// what a loaded machine needs.
template <typename Condition>
bool eventually(Condition done, std::chrono::seconds bound = std::chrono::seconds(120)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace travo::platform::test_support
