#pragma once
// The eigensystem of the p x p resemblance (or correspondence) matrix: the
// eigenvalues in decreasing order, their eigenvectors, and the count and sum
// of the positive eigenvalues.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orthaxis::results {

struct Eigensystem {
  std::int32_t p = 0;
  std::vector<float> values;   // p
  std::vector<float> vectors;  // p x p, column by column; column k belongs to values[k]
  std::int32_t positive_count = 0;
  float positive_sum = 0.0f;

  // Element i of eigenvector k, both 0-based.
  float vector(std::size_t i, std::size_t k) const {
    return vectors[k * static_cast<std::size_t>(p) + i];
  }
};

}  // namespace orthaxis::results
