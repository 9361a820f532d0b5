// The portable kernels (compiled for the processor the program is built
// for), the table of every level, and the choice among them.

#include "analysis/jacobi_kernels.h"

#include "analysis/jacobi.h"
#include "analysis/jacobi_kernel_runs.h"

namespace orthaxis::analysis {

namespace portable_kernels {

void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count) {
  rotate_columns_by_runs(e, n, r0, r1, rot, count);
}

void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to) {
  rows_below_by_fours(mat, ld, col, b, from, to);
}

void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b) {
  above_range_by_runs(mat, ld, col, b, 0, b.m[b.count - 1]);
}

void rotate_above_range(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                        std::size_t lo, std::size_t hi) {
  above_range_by_runs(mat, ld, col, b, lo, hi);
}

}  // namespace portable_kernels

namespace {

constexpr JacobiKernels kPortable = {
    portable_kernels::rotate_eigenvector_rows,
    portable_kernels::rotate_rows_below,
    portable_kernels::rotate_rows_above,
    portable_kernels::rotate_above_range,
};

#if defined(ORTHAXIS_AVX2_KERNELS)
constexpr JacobiKernels kAvx2 = {
    avx2_kernels::rotate_eigenvector_rows,
    avx2_kernels::rotate_rows_below,
    avx2_kernels::rotate_rows_above,
    avx2_kernels::rotate_above_range,
};

constexpr JacobiKernels kAvx512 = {
    avx512_kernels::rotate_eigenvector_rows,
    avx512_kernels::rotate_rows_below,
    avx512_kernels::rotate_rows_above,
    avx2_kernels::rotate_above_range,
};
#endif

}  // namespace

const JacobiKernels& jacobi_kernels(detail::Kernels widest) {
#if defined(ORTHAXIS_AVX2_KERNELS)
  if (widest == detail::Kernels::kPortable || !textio::have_avx2()) return kPortable;
  if (widest == detail::Kernels::kAvx512 && textio::have_avx512()) return kAvx512;
  return kAvx2;
#else
  (void)widest;
  return kPortable;
#endif
}

}  // namespace orthaxis::analysis
