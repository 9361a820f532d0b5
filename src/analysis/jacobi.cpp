// The eigenanalysis: the initial norm, the threshold steps of the blocked
// iteration (jacobi_iteration.h) and the sort of the eigenpairs.

#include "analysis/jacobi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "analysis/jacobi_iteration.h"
#include "analysis/threshold_schedule.h"

namespace orthaxis::analysis {
namespace {

// Packed position of (r, c), c <= r, 0-based.
inline std::size_t packed(std::size_t r, std::size_t c) { return r * (r + 1) / 2 + c; }

// Bytes that sort allocates for n values.
std::size_t sort_workspace_bytes(std::size_t n) {
  return saturating_sum(saturating_product(saturating_product(n, n), sizeof(float)),
                        saturating_product(n, sizeof(float) + sizeof(std::size_t)));
}

// Exchange sort by decreasing value of the diagonal, moving the eigenvector
// columns along (when there are any: e empty for the values alone). The
// exchanges are played on the values and a column order; the columns are
// then moved once.
void sort(std::size_t n, std::span<float> a, std::span<float> e) {
  std::vector<float> d(n);
  for (std::size_t i = 0; i < n; ++i) d[i] = a[packed(i, i)];
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  bool moved = false;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i; j < n; ++j) {
      if (d[i] - d[j] < 0.0f) {
        std::swap(d[i], d[j]);
        std::swap(order[i], order[j]);
        moved = true;
      }
    }
  }
  if (!moved) return;
  for (std::size_t i = 0; i < n; ++i) a[packed(i, i)] = d[i];
  if (e.empty()) return;
  const std::vector<float> old(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(n * n));
  for (std::size_t j = 0; j < n; ++j) {
    std::copy_n(old.begin() + static_cast<std::ptrdiff_t>(order[j] * n), n,
                e.begin() + static_cast<std::ptrdiff_t>(j * n));
  }
}

// Initial norm: 1.414 times the root of the off-diagonal sum of squares,
// taken row by row of the upper triangle in single precision; where that sum
// is not finite, the whole expression in double precision, stored once.
// False when there is nothing to rotate (the sum is not above zero).
bool initial_norm(std::size_t n, std::span<const float> a, float& norm) {
  float sum = 0.0f;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      const float v = a[packed(j, i)];
      sum = sum + v * v;
    }
  }
  if (std::isfinite(sum)) [[likely]] {
    norm = 1.414f * std::sqrt(sum);
    return sum > 0.0f;
  }
  double wide = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      const double v = a[packed(j, i)];
      wide = wide + v * v;
    }
  }
  norm = static_cast<float>(static_cast<double>(1.414f) * std::sqrt(wide));
  return wide > 0.0;
}

}  // namespace

namespace detail {

JacobiCounts jacobi_counting(std::int32_t p, std::span<float> a, std::span<float> e,
                             JacobiObserver* observer, Kernels widest, WorkerPool* pool) {
  JacobiCounts counts;
  if (p < 1) return counts;
  const auto n = static_cast<std::size_t>(p);
  const bool vectors = !e.empty();
  if (vectors) {
    std::fill_n(e.begin(), n * n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) e[i * n + i] = 1.0f;
  }

  float norm = 0.0f;
  if (initial_norm(n, a, norm)) {
    const ThresholdSchedule schedule = ThresholdSchedule::for_norm(norm, p);
    float threshold = norm;
    if (observer != nullptr) observer->started(schedule);
    JacobiIteration it(n, a, vectors ? e.data() : nullptr, widest, pool);
    for (std::int64_t step = 1;; ++step) {
      threshold = schedule.next(threshold);
      if (observer != nullptr) observer->threshold_step(step, threshold);
      // Sweeps at this threshold until one rotates nothing, at most kSweepLimit.
      std::int32_t sweeps = 0;
      bool rotated = true;
      while (rotated && sweeps < kSweepLimit) {
        rotated = it.sweep(threshold);
        ++sweeps;
      }
      counts.most_sweeps = std::max(counts.most_sweeps, sweeps);
      if (rotated) {
        counts.convergence = Convergence::kNotConverged;
        counts.rotations = it.rotations();
        return counts;
      }
      if (schedule.last(threshold)) break;
    }
    it.flush_eigenvectors();
    it.settle_eigenvectors();
    it.store(a);
    counts.rotations = it.rotations();
  }
  sort(n, a, e);
  return counts;
}

}  // namespace detail

Convergence jacobi(std::int32_t p, std::span<float> a, std::span<float> e,
                   JacobiObserver* observer, WorkerPool* pool) {
  return detail::jacobi_counting(p, a, e, observer, detail::Kernels::kAvx512, pool).convergence;
}

Convergence jacobi_values(std::int32_t p, std::span<float> a, WorkerPool* pool) {
  return detail::jacobi_counting(p, a, {}, nullptr, detail::Kernels::kAvx512, pool).convergence;
}

std::size_t jacobi_workspace_bytes(std::int32_t p) {
  if (p < 1) return 0;
  const std::size_t n = static_cast<std::size_t>(p);
  return std::max(JacobiIteration::workspace_bytes(n), sort_workspace_bytes(n));
}

}  // namespace orthaxis::analysis
