// What the frame benchmarks share: the frame size they measure on, the
// repetition count from the command line, and best-of-N timing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace bench {

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

// The first argument as a repetition count (at least 1), else `fallback`.
inline int Repetitions(int argc, char** argv, int fallback) {
  return argc > 1 ? std::max(1, std::atoi(argv[1])) : fallback;
}

// Best of `reps` runs, in seconds: the minimum is the least disturbed by
// other processes.
inline double BestSeconds(int reps, const std::function<void()>& body) {
  double best = 1e30;
  for (int i = 0; i < reps; ++i) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(end - start).count());
  }
  return best;
}

}  // namespace bench
