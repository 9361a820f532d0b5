#pragma once
// Kernel bodies that more than one level compiles, each for its own
// instruction set: the portable file, and the AVX2 file, whose compiler
// vectorises the same loops for eight lanes. Everything here has internal
// linkage, so that each file keeps its own copy and the linker never
// merges a copy built for wider instructions into the portable code. Only
// the kernel files read this header.

#include <cstddef>
#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "analysis/jacobi_kernels.h"

namespace orthaxis::analysis {
namespace {

std::size_t smaller(std::size_t a, std::size_t b) { return a < b ? a : b; }
std::size_t larger(std::size_t a, std::size_t b) { return a < b ? b : a; }

// x' = x c - y s and y' = x s + y c for every pair (x[i], y[i]).
[[gnu::always_inline]] inline void rotate_pair_run(float* __restrict x, float* __restrict y,
                                                   std::size_t n, float c, float s) {
  for (std::size_t i = 0; i < n; ++i) {
    const float xi = x[i];
    const float yi = y[i];
    x[i] = xi * c - yi * s;
    y[i] = xi * s + yi * c;
  }
}

[[gnu::noinline]] void rotate_pairs(float* __restrict x, float* __restrict y, std::size_t n,
                                    float c, float s) {
  rotate_pair_run(x, y, n, c, s);
}

// Four rotations in a row on the pairs (x[i], y0[i]), then (x[i], y1[i]),
// (x[i], y2[i]), (x[i], y3[i]): as rotate_pairs four times, with x[i] kept
// between them instead of stored and read again.
[[gnu::noinline]] void rotate_pairs4(float* __restrict x, float* __restrict y0,
                                     float* __restrict y1, float* __restrict y2,
                                     float* __restrict y3, std::size_t n, const float* c,
                                     const float* s) {
  const float c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  const float s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
  for (std::size_t i = 0; i < n; ++i) {
    float xi = x[i];
    float yi = y0[i];
    float xn = xi * c0 - yi * s0;
    y0[i] = xi * s0 + yi * c0;
    xi = xn;
    yi = y1[i];
    xn = xi * c1 - yi * s1;
    y1[i] = xi * s1 + yi * c1;
    xi = xn;
    yi = y2[i];
    xn = xi * c2 - yi * s2;
    y2[i] = xi * s2 + yi * c2;
    xi = xn;
    yi = y3[i];
    xn = xi * c3 - yi * s3;
    y3[i] = xi * s3 + yi * c3;
    x[i] = xn;
  }
}

// Recorded eigenvector rotations are applied to bands of kBandRows rows,
// every rotation to one band before the next band.
constexpr std::size_t kBandRows = 64;

// Rows r0 .. r1-1 of the eigenvectors, a run of pairs per rotation.
[[gnu::noinline]] void rotate_columns_by_runs(float* e, std::size_t n, std::size_t r0,
                                              std::size_t r1, const ColumnRotation* rot,
                                              std::size_t count) {
  for (std::size_t i0 = r0; i0 < r1; i0 += kBandRows) {
    const std::size_t len = smaller(kBandRows, r1 - i0);
    for (std::size_t k = 0; k < count; ++k) {
      rotate_pair_run(e + rot[k].l * n + i0, e + rot[k].m * n + i0, len, rot[k].c, rot[k].s);
    }
  }
}

// The block's rotations on the pairs (i, l), (m, i) with i < m and
// lo <= i < hi. Four rotations go at a time over the elements below the
// first one's pivot, where all four apply; each element still takes them
// in order, and the elements between the pivots take the rest of the four
// one by one.
void above_range_by_runs(float* mat, std::size_t ld, float* cl, const RotationBlock& b,
                         std::size_t lo, std::size_t hi) {
  const auto row = [mat, ld](std::size_t r) { return mat + r * ld; };
  // Elements lo .. hi-1 that lie in from .. to-1: [first, end), empty when first >= end.
  struct Range {
    std::size_t first, end;
  };
  const auto clip = [lo, hi](std::size_t from, std::size_t to) {
    return Range{larger(from, lo), smaller(to, hi)};
  };
  std::size_t j = 0;
  for (; j + 4 <= b.count; j += 4) {
    const std::size_t* m = b.m + j;
    if (const auto [a, e] = clip(0, m[0]); a < e) {
      rotate_pairs4(cl + a, row(m[0]) + a, row(m[1]) + a, row(m[2]) + a, row(m[3]) + a, e - a,
                    b.c + j, b.s + j);
    }
    for (std::size_t k = 1; k < 4; ++k) {
      const auto [a, e] = clip(m[k - 1], m[k]);
      if (a >= e) continue;
      for (std::size_t t = k; t < 4; ++t) {
        rotate_pairs(cl + a, row(m[t]) + a, e - a, b.c[j + t], b.s[j + t]);
      }
    }
  }
  for (; j < b.count; ++j) {
    if (const auto [a, e] = clip(0, b.m[j]); a < e) {
      rotate_pairs(cl + a, row(b.m[j]) + a, e - a, b.c[j], b.s[j]);
    }
  }
}

// Rows i .. to-1 below the block, four rows at a time where SSE is there:
// square tiles of the block's 16 columns are transposed so that each
// register holds one column for four rows; the last rows one by one.
void rows_below_by_fours(float* mat, std::size_t ld, float* cl, const RotationBlock& b,
                         std::size_t i, std::size_t to) {
#if defined(__SSE__)
  const std::size_t base = b.base;
  for (; i + 4 <= to; i += 4) {
    float* r0 = mat + i * ld + base;
    __m128 t[kBlock];
    for (std::size_t k = 0; k < kBlock; k += 4) {
      __m128 a0 = _mm_loadu_ps(r0 + k);
      __m128 a1 = _mm_loadu_ps(r0 + ld + k);
      __m128 a2 = _mm_loadu_ps(r0 + 2 * ld + k);
      __m128 a3 = _mm_loadu_ps(r0 + 3 * ld + k);
      _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
      t[k] = a0;
      t[k + 1] = a1;
      t[k + 2] = a2;
      t[k + 3] = a3;
    }
    __m128 x = _mm_loadu_ps(cl + i);
    for (std::size_t j = 0; j < b.count; ++j) {
      const __m128 c = _mm_set1_ps(b.c[j]);
      const __m128 s = _mm_set1_ps(b.s[j]);
      __m128& y = t[b.m[j] - base];
      const __m128 xn = _mm_sub_ps(_mm_mul_ps(x, c), _mm_mul_ps(y, s));
      y = _mm_add_ps(_mm_mul_ps(x, s), _mm_mul_ps(y, c));
      x = xn;
    }
    _mm_storeu_ps(cl + i, x);
    for (std::size_t k = 0; k < kBlock; k += 4) {
      __m128 a0 = t[k], a1 = t[k + 1], a2 = t[k + 2], a3 = t[k + 3];
      _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
      _mm_storeu_ps(r0 + k, a0);
      _mm_storeu_ps(r0 + ld + k, a1);
      _mm_storeu_ps(r0 + 2 * ld + k, a2);
      _mm_storeu_ps(r0 + 3 * ld + k, a3);
    }
  }
#endif
  for (; i < to; ++i) {
    float* ri = mat + i * ld;
    float x = cl[i];
    for (std::size_t j = 0; j < b.count; ++j) {
      float& y = ri[b.m[j]];
      const float xn = x * b.c[j] - y * b.s[j];
      y = x * b.s[j] + y * b.c[j];
      x = xn;
    }
    cl[i] = x;
  }
}

}  // namespace
}  // namespace orthaxis::analysis
