#pragma once
// Eigenanalysis of the symmetric resemblance matrix by the cyclic threshold
// Jacobi method: all eigenvalues and eigenvectors, sorted by decreasing
// eigenvalue.
//
// Sums of two squares (the initial norm, and A(l,m)^2 + x^2 of a rotation)
// are formed in single precision; where that sum is not finite, the whole
// expression is evaluated in double precision from the single-precision
// values and its result stored once in single precision. Runs whose squares
// stay finite are untouched by this.

#include <cstddef>
#include <cstdint>
#include <span>

#include "analysis/jacobi_observer.h"
#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

// How the iteration ended. kNotConverged: a threshold step swept
// kSweepLimit times and every sweep still rotated; a and e then hold no
// usable result.
enum class Convergence { kConverged, kNotConverged };

inline constexpr std::int32_t kSweepLimit = 100;

// a: the packed lower triangle, 0-based: element (r, c), c <= r (1-based r, c) at index
//    r*(r-1)/2 + c - 1; at least p*(p+1)/2 values. On return the diagonal holds the
//    eigenvalues in non-increasing order; off-diagonal positions keep the iteration's remainders.
// e: p*p values, column by column: element (i, j) (1-based) at index (j-1)*p + i - 1;
//    empty for the eigenvalues alone (see jacobi_values).
// observer, when given, hears of the start (with the threshold schedule) and
//    of each threshold step; the routine itself writes nothing.
// pool: threads that rotate the eigenvectors and rows of the triangle below
//    the iteration while it goes on (the results are the same for every
//    number of threads). Up to three of the pool's helpers are busy with this
//    until jacobi returns.
[[nodiscard]] Convergence jacobi(std::int32_t p, std::span<float> a, std::span<float> e,
                                 JacobiObserver* observer = nullptr, WorkerPool* pool = nullptr);

// The eigenvalues alone: jacobi without eigenvectors. The triangle takes the
// same rotations in the same order, so a ends bit for bit as with jacobi;
// the column rotations are neither recorded nor applied, and the sort moves
// only the diagonal.
[[nodiscard]] Convergence jacobi_values(std::int32_t p, std::span<float> a,
                                        WorkerPool* pool = nullptr);

// The same method stated plainly: one rotation after another on the packed
// triangle with 1-based positions. jacobi gives its results, and its calls
// of the observer, bit for bit; the tests compare the two.
[[nodiscard]] Convergence jacobi_directly(std::int32_t p, std::span<float> a, std::span<float> e,
                                          JacobiObserver* observer = nullptr);

// The most bytes jacobi allocates at one time for a p x p matrix (its working
// copy of the triangle, or the copy made by the sort).
std::size_t jacobi_workspace_bytes(std::int32_t p);

namespace detail {
// Widest vector kernels the routine may use; the processor's support still
// applies. Every level gives the same bits (the tests compare them).
enum class Kernels { kPortable, kAvx2, kAvx512 };

struct JacobiCounts {
  Convergence convergence = Convergence::kConverged;
  std::int64_t rotations = 0;  // rotations applied
  std::int32_t most_sweeps = 0;  // most sweeps at one threshold, the last (settled) one included
};

// The same computation as jacobi (with e empty, as jacobi_values), with
// counts for the benchmark and the tests.
JacobiCounts jacobi_counting(std::int32_t p, std::span<float> a, std::span<float> e,
                             JacobiObserver* observer = nullptr, Kernels widest = Kernels::kAvx512,
                             WorkerPool* pool = nullptr);
}  // namespace detail

}  // namespace orthaxis::analysis
