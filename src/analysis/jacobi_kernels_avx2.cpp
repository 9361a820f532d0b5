// The AVX2 kernels: eight lanes. This file is compiled with -mavx2 (see
// CMakeLists.txt) and runs only where the processor has AVX2.

#include "analysis/jacobi_kernels.h"

#if defined(ORTHAXIS_AVX2_KERNELS)

#if !defined(__AVX2__)
#error "jacobi_kernels_avx2.cpp is compiled with -mavx2"
#endif

#include <immintrin.h>

#include "analysis/jacobi_kernel_runs.h"

namespace orthaxis::analysis {
namespace {

// x' = x c - y s, y' = x s + y c on eight lanes.
inline void rotate8(__m256& x, __m256& y, __m256 c, __m256 s) {
  const __m256 xn = _mm256_sub_ps(_mm256_mul_ps(x, c), _mm256_mul_ps(y, s));
  y = _mm256_add_ps(_mm256_mul_ps(x, s), _mm256_mul_ps(y, c));
  x = xn;
}

// Rotations ahead whose column m is fetched into cache while the current
// one is applied: the columns of a band lie n floats apart, a stride the
// processor does not foresee, and without the hint every rotation waits for
// its first load.
constexpr std::size_t kPrefetchAhead = 4;

// rotate_band_avx512 on eight lanes: rows i0 .. i0+8*kVectors-1. Whole
// vectors only: masked stores are slow on some processors.
template <std::size_t kVectors>
void rotate_band_avx2(float* e, std::size_t n, std::size_t i0, const ColumnRotation* rot,
                      std::size_t count) {
  __m256 x[kVectors];
  for (std::size_t k = 0; k < count;) {
    const std::uint32_t l = rot[k].l;
    float* xl = e + l * n + i0;
    for (std::size_t g = 0; g < kVectors; ++g) x[g] = _mm256_loadu_ps(xl + 8 * g);
    for (; k < count && rot[k].l == l; ++k) {
      if (k + kPrefetchAhead < count) {
        const char* ahead = reinterpret_cast<const char*>(e + rot[k + kPrefetchAhead].m * n + i0);
        for (std::size_t b = 0; b < 32 * kVectors; b += 64) _mm_prefetch(ahead + b, _MM_HINT_T0);
        _mm_prefetch(ahead + 32 * kVectors - 1, _MM_HINT_T0);
      }
      const __m256 c = _mm256_set1_ps(rot[k].c);
      const __m256 s = _mm256_set1_ps(rot[k].s);
      float* ym = e + rot[k].m * n + i0;
      for (std::size_t g = 0; g < kVectors; ++g) {
        __m256 y = _mm256_loadu_ps(ym + 8 * g);
        rotate8(x[g], y, c, s);
        _mm256_storeu_ps(ym + 8 * g, y);
      }
    }
    for (std::size_t g = 0; g < kVectors; ++g) _mm256_storeu_ps(xl + 8 * g, x[g]);
  }
}

constexpr std::size_t kEigenBandVectorsAvx2 = 8;

// Rows r0 .. r1-1 of the eigenvectors; the last rows that fill no vector
// are rotated by runs of pairs.
void columns_avx2(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                  const ColumnRotation* rot, std::size_t count) {
  constexpr std::size_t band = 8 * kEigenBandVectorsAvx2;
  std::size_t i0 = r0;
  for (; i0 + band <= r1; i0 += band) rotate_band_avx2<kEigenBandVectorsAvx2>(e, n, i0, rot, count);
  const std::size_t vectors = (r1 - i0) / 8;
  switch (vectors) {
    case 0: break;
    case 1: rotate_band_avx2<1>(e, n, i0, rot, count); break;
    case 2: rotate_band_avx2<2>(e, n, i0, rot, count); break;
    case 3: rotate_band_avx2<3>(e, n, i0, rot, count); break;
    case 4: rotate_band_avx2<4>(e, n, i0, rot, count); break;
    case 5: rotate_band_avx2<5>(e, n, i0, rot, count); break;
    case 6: rotate_band_avx2<6>(e, n, i0, rot, count); break;
    default: rotate_band_avx2<7>(e, n, i0, rot, count); break;
  }
  i0 += 8 * vectors;
  if (i0 < r1) rotate_columns_by_runs(e, n, i0, r1, rot, count);
}

// 8 x 8 transpose of eight registers.
inline void transpose8(__m256* a) {
  const __m256 u0 = _mm256_unpacklo_ps(a[0], a[1]), u1 = _mm256_unpackhi_ps(a[0], a[1]),
               u2 = _mm256_unpacklo_ps(a[2], a[3]), u3 = _mm256_unpackhi_ps(a[2], a[3]),
               u4 = _mm256_unpacklo_ps(a[4], a[5]), u5 = _mm256_unpackhi_ps(a[4], a[5]),
               u6 = _mm256_unpacklo_ps(a[6], a[7]), u7 = _mm256_unpackhi_ps(a[6], a[7]);
  const __m256 v0 = _mm256_shuffle_ps(u0, u2, _MM_SHUFFLE(1, 0, 1, 0)),
               v1 = _mm256_shuffle_ps(u0, u2, _MM_SHUFFLE(3, 2, 3, 2)),
               v2 = _mm256_shuffle_ps(u1, u3, _MM_SHUFFLE(1, 0, 1, 0)),
               v3 = _mm256_shuffle_ps(u1, u3, _MM_SHUFFLE(3, 2, 3, 2)),
               v4 = _mm256_shuffle_ps(u4, u6, _MM_SHUFFLE(1, 0, 1, 0)),
               v5 = _mm256_shuffle_ps(u4, u6, _MM_SHUFFLE(3, 2, 3, 2)),
               v6 = _mm256_shuffle_ps(u5, u7, _MM_SHUFFLE(1, 0, 1, 0)),
               v7 = _mm256_shuffle_ps(u5, u7, _MM_SHUFFLE(3, 2, 3, 2));
  a[0] = _mm256_permute2f128_ps(v0, v4, 0x20);
  a[1] = _mm256_permute2f128_ps(v1, v5, 0x20);
  a[2] = _mm256_permute2f128_ps(v2, v6, 0x20);
  a[3] = _mm256_permute2f128_ps(v3, v7, 0x20);
  a[4] = _mm256_permute2f128_ps(v0, v4, 0x31);
  a[5] = _mm256_permute2f128_ps(v1, v5, 0x31);
  a[6] = _mm256_permute2f128_ps(v2, v6, 0x31);
  a[7] = _mm256_permute2f128_ps(v3, v7, 0x31);
}

// Rows below a block of pivots, 8 * kGroups rows at a time (see
// JacobiKernels::rotate_rows_below): r points at the block's first column in the
// first row, x at the elements (i, l) of the rows. q[j] is the column of
// rotation j within the 16 columns; the rotations go in increasing q. The
// groups of eight rows are independent and are interleaved so that their
// chains of rotations overlap.
template <std::size_t kGroups>
void rotate_rows_avx2(float* r, std::size_t ld, float* x_col, const std::size_t* q, const float* cs,
                      const float* sn, std::size_t count) {
  __m256 t[kGroups][16];
  __m256 x[kGroups];
  for (std::size_t g = 0; g < kGroups; ++g) {
    for (std::size_t k = 0; k < 16; k += 8) {
      const float* rk = r + 8 * g * ld + k;
      for (std::size_t h = 0; h < 8; ++h) t[g][k + h] = _mm256_loadu_ps(rk + h * ld);
      transpose8(&t[g][k]);
    }
    x[g] = _mm256_loadu_ps(x_col + 8 * g);
  }
  for (std::size_t j = 0; j < count; ++j) {
    const __m256 c = _mm256_set1_ps(cs[j]);
    const __m256 s = _mm256_set1_ps(sn[j]);
    for (std::size_t g = 0; g < kGroups; ++g) {
      __m256& y = t[g][q[j]];
      const __m256 xn = _mm256_sub_ps(_mm256_mul_ps(x[g], c), _mm256_mul_ps(y, s));
      y = _mm256_add_ps(_mm256_mul_ps(x[g], s), _mm256_mul_ps(y, c));
      x[g] = xn;
    }
  }
  for (std::size_t g = 0; g < kGroups; ++g) {
    _mm256_storeu_ps(x_col + 8 * g, x[g]);
    for (std::size_t k = 0; k < 16; k += 8) {
      float* rk = r + 8 * g * ld + k;
      transpose8(&t[g][k]);
      for (std::size_t h = 0; h < 8; ++h) _mm256_storeu_ps(rk + h * ld, t[g][k + h]);
    }
  }
}

}  // namespace

namespace avx2_kernels {

void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count) {
  columns_avx2(e, n, r0, r1, rot, count);
}

// Several rows at a time: square tiles of the block's 16 columns are
// transposed so that each register holds one column for those rows, 32 rows
// at a time, then 8, then 4 and one by one.
void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to) {
  std::size_t i = from;
  for (; i + 32 <= to; i += 32) {
    rotate_rows_avx2<4>(mat + i * ld + b.base, ld, col + i, b.q, b.c, b.s, b.count);
  }
  for (; i + 8 <= to; i += 8) {
    rotate_rows_avx2<1>(mat + i * ld + b.base, ld, col + i, b.q, b.c, b.s, b.count);
  }
  rows_below_by_fours(mat, ld, col, b, i, to);
}

void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b) {
  above_range_by_runs(mat, ld, col, b, 0, b.m[b.count - 1]);
}

void rotate_above_range(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                        std::size_t lo, std::size_t hi) {
  above_range_by_runs(mat, ld, col, b, lo, hi);
}

}  // namespace avx2_kernels
}  // namespace orthaxis::analysis

#endif
