#pragma once
// The thresholds of the cyclic threshold Jacobi method: the first is the
// initial norm divided by p, each next one the last divided by p, and the
// step at or below the final threshold, norm * 0.000001 / p, is the last.
// The iteration steps through them; the progress shown to a person counts them.

#include <cstdint>

namespace orthaxis::analysis {

struct ThresholdSchedule {
  float p = 1.0f;                // the order of the matrix, the divisor of each step
  float final_threshold = 0.0f;  // norm * 0.000001f / p

  // `norm`: 1.414 times the root of the off-diagonal sum of squares.
  static ThresholdSchedule for_norm(float norm, std::int32_t order) {
    const float pf = static_cast<float>(order);
    return {pf, norm * 0.000001f / pf};
  }

  // The threshold of the step after one at `threshold` (the first: next(norm)).
  float next(float threshold) const { return threshold / p; }

  // Whether the step at `threshold` is the last (also when the comparison
  // fails, for a threshold that is not a number).
  bool last(float threshold) const { return !(threshold - final_threshold > 0.0f); }

  // The number of steps after one at `threshold`, at most 1000.
  std::int64_t steps_left(float threshold) const {
    std::int64_t k = 0;
    while (!last(threshold) && k < 1000) {
      threshold = next(threshold);
      ++k;
    }
    return k;
  }
};

}  // namespace orthaxis::analysis
