#pragma once
// Eigenanalysis of the symmetric resemblance matrix by the cyclic threshold
// Jacobi method: all eigenvalues and eigenvectors, sorted by decreasing
// eigenvalue.

#include <cstdint>
#include <functional>
#include <span>

#include "textio/console.h"

namespace orthaxis::analysis {

// a: the packed lower triangle, 0-based: element (r, c), c <= r (1-based r, c) at index
//    r*(r-1)/2 + c - 1; at least p*(p+1)/2 values. On return the diagonal holds the
//    eigenvalues in non-increasing order; off-diagonal positions keep the iteration's remainders.
// e: p*p values, column by column: element (i, j) (1-based) at index (j-1)*p + i - 1.
// console: receives the progress lines (threshold line once, one "+CURRENT V.=" record per
//    threshold step) through textio::Format / textio::Console.
// on_step, when given, is called at each threshold step with that step's
//    threshold and the final threshold (progress for a person).
using ThresholdStep = std::function<void(float threshold, float final_threshold)>;
void jacobi(std::int32_t p, std::span<float> a, std::span<float> e, textio::Console& console,
            const ThresholdStep& on_step = {});

namespace detail {
// Widest vector kernels the routine may use; the processor's support still
// applies. Every level gives the same bits (the tests compare them).
enum class Kernels { kPortable, kAvx2, kAvx512 };

// The same computation as jacobi, returning the number of rotations applied
// (for the benchmark's rotation rate).
std::int64_t jacobi_counting(std::int32_t p, std::span<float> a, std::span<float> e,
                             textio::Console& console, Kernels widest = Kernels::kAvx512,
                             const ThresholdStep& on_step = {});
}  // namespace detail

}  // namespace orthaxis::analysis
