#pragma once
// The eigensystem of the p x p resemblance (or correspondence) matrix: the
// eigenvalues in decreasing order, their eigenvectors, and the count and sum
// of the positive eigenvalues. Built once from the eigenanalysis and read
// only from then on.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/work_array.h"

namespace orthaxis::results {

struct Eigensystem {
  std::int32_t p = 0;
  std::vector<float> values;   // p
  analysis::WorkArray vectors;  // p x p, column by column; column k belongs to values[k]
  std::int32_t positive_count = 0;
  float positive_sum = 0.0f;

  // The eigenvalues off the diagonal of the diagonalised packed matrix `a`,
  // with the count and sum of the positive ones (added in order).
  static Eigensystem from_diagonal(std::int32_t p, std::span<const float> a,
                                   analysis::WorkArray vectors);
  // The same from the eigenvalues in non-increasing order; `vectors` may
  // hold fewer than p columns, but at least one for each positive eigenvalue.
  static Eigensystem from_values(std::vector<float> values, analysis::WorkArray vectors);

  // Element i of eigenvector k, both 0-based.
  float vector(std::size_t i, std::size_t k) const {
    return vectors[k * static_cast<std::size_t>(p) + i];
  }

  // Eigenvalue k (0-based) in percent of the sum of the positive ones, as
  // the report, the eigenvalue file, the tables and the pictures give it.
  float percent(std::size_t k) const { return values[k] * 100.0f / positive_sum; }

  // The percentages of the positive eigenvalues, and their running sums
  // (each added to the one before, in single precision).
  std::vector<float> percentages() const;
  std::vector<float> cumulative_percentages() const;
};

}  // namespace orthaxis::results
