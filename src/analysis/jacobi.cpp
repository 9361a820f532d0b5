#include "analysis/jacobi.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/vector_clones.h"
#include "analysis/worker_pool.h"
#include "textio/format.h"
#include "textio/processor.h"
#include "textio/value.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#if defined(ORTHAXIS_AVX2_KERNELS)
#include <immintrin.h>
#endif

// The iteration works on a copy of the lower triangle with rows padded to a
// multiple of 16 floats. Every element receives exactly the single-precision
// operations of the rotation formulas, in the same order as on the packed
// triangle; only the place and the moment of each update change:
//  - During the pass of pivot l, column l is kept in a contiguous buffer, so
//    that for i < m the pairs (i, l), (i, m) of a rotation are two contiguous
//    runs (column l and row m).
//  - The pivots m of a pass are taken in blocks of 16 consecutive values. A
//    rotation's parameters depend only on the diagonal, on (m, l) and on the
//    rows of its own block, so the other updates of a block's rotations can
//    wait until all of them are known: for the rows i below the block, the
//    elements (i, m) of the whole block are adjacent in row i and take the
//    block's rotations one row after another; for the rows i < m above a
//    pivot, row m and column l take them band by band, with the band of
//    column l held in registers.
//  - Rows are visited in groups of 64 per pass, so that a group's updates
//    from below and from above happen while it is in cache.
//  - The eigenvectors are not read by the iteration and each of their rows
//    is rotated on its own, so the column rotations are recorded and applied
//    later in bands of rows that stay in cache, again in the same order.
//  - With helper threads, the bands of eigenvector rows are rotated beside
//    the iteration, and the groups of rows below the one the iteration is
//    in take the blocks of the pass published so far, each group on one
//    thread at a time and every block in order (see Iteration::partner).
//    From kPartnerRows rows on, the rows above the pivots also take the
//    published blocks on a helper, one thread at a time and every block in
//    order; the iteration gives them the blocks left at the end of the pass.
//    Nothing of the pass reads those elements before then: later blocks
//    need column l only from their own rows down.
// The 16-lane (AVX-512), 8-lane (AVX2) and 4-lane kernels are chosen at run
// time; all of them give the same bits.

namespace orthaxis::analysis {
namespace {

const textio::Format kThresholdLine{"(/' EIGENANALYSIS UNDERWAY'//' THRESHOLD =',F25.15/)"};
const textio::Format kCurrentLine{"(1H+,'CURRENT V.=',F25.15)"};

void print(const textio::Format& format, float value, textio::Console& console) {
  const textio::Value values[] = {value};
  format.write(values, [&console](std::string_view record) { console.write(record); });
}

// Packed position of (r, c), c <= r, 0-based.
inline std::size_t packed(std::size_t r, std::size_t c) { return r * (r + 1) / 2 + c; }

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

ORTHAXIS_VECTOR_CLONES void rotate_pairs(float* __restrict x, float* __restrict y, std::size_t n,
                                          float c, float s) {
  rotate_pair_run(x, y, n, c, s);
}

// Four rotations in a row on the pairs (x[i], y0[i]), then (x[i], y1[i]),
// (x[i], y2[i]), (x[i], y3[i]): as rotate_pairs four times, with x[i] kept
// between them instead of stored and read again.
ORTHAXIS_VECTOR_CLONES void rotate_pairs4(float* __restrict x, float* __restrict y0,
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

// Rotation of the eigenvector columns l and m.
struct ColumnRotation {
  std::uint32_t l, m;
  float c, s;
};

// Recorded eigenvector rotations are applied to bands of kBandRows rows,
// every rotation to one band before the next band.
constexpr std::size_t kPendingLimit = std::size_t{1} << 16;
constexpr std::size_t kBandRows = 64;

// Rows r0 .. r1-1 of the eigenvectors.
ORTHAXIS_VECTOR_CLONES void rotate_columns(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                                            const ColumnRotation* rot, std::size_t count) {
  for (std::size_t i0 = r0; i0 < r1; i0 += kBandRows) {
    const std::size_t len = std::min(kBandRows, r1 - i0);
    for (std::size_t k = 0; k < count; ++k) {
      rotate_pair_run(e + rot[k].l * n + i0, e + rot[k].m * n + i0, len, rot[k].c, rot[k].s);
    }
  }
}

struct Rotation {
  float s, s2, c, c2, sc;
};

// Sine, cosine and their products for the pivot element alm with the
// diagonal elements all and amm.
inline Rotation rotation_for(float all, float amm, float alm) {
  const float x = 0.5f * (all - amm);
  const float squares = alm * alm + x * x;
  float y;
  if (std::isfinite(squares)) [[likely]] {
    y = -alm / std::sqrt(squares);
  } else {
    // The squares overflow: y in double precision, stored once.
    const double a = alm;
    const double xd = x;
    y = static_cast<float>(-a / std::sqrt(a * a + xd * xd));
  }
  if (x < 0.0f) y = -y;
  Rotation r;
  r.s = y / std::sqrt(2.0f * (1.0f + std::sqrt(1.0f - y * y)));
  r.s2 = r.s * r.s;
  r.c = std::sqrt(1.0f - r.s2);
  r.c2 = r.c * r.c;
  r.sc = r.s * r.c;
  return r;
}

#if defined(ORTHAXIS_AVX2_KERNELS)
// Lanes 0 .. count-1 of a 16-lane mask (all lanes for count >= 16, none for count <= 0).
inline __mmask16 first_lanes(std::ptrdiff_t count) {
  if (count <= 0) return 0;
  if (count >= 16) return 0xFFFF;
  return static_cast<__mmask16>((1u << count) - 1u);
}

// x' = x c - y s, y' = x s + y c on sixteen lanes.
__attribute__((target("avx512f"))) inline void rotate16(__m512& x, __m512& y, __m512 c, __m512 s) {
  const __m512 xn = _mm512_sub_ps(_mm512_mul_ps(x, c), _mm512_mul_ps(y, s));
  y = _mm512_add_ps(_mm512_mul_ps(x, s), _mm512_mul_ps(y, c));
  x = xn;
}

// Eigenvector rotations on rows i0 .. i0+len-1 (len <= 16 * kVectors) of
// every column. Consecutive rotations that share column l keep its rows in
// registers, so each rotation loads and stores only column m.
template <std::size_t kVectors>
__attribute__((target("avx512f"))) void rotate_band_avx512(float* e, std::size_t n, std::size_t i0,
                                                          std::size_t len,
                                                          const ColumnRotation* rot,
                                                          std::size_t count) {
  __mmask16 mask[kVectors];
  for (std::size_t g = 0; g < kVectors; ++g) {
    mask[g] = first_lanes(static_cast<std::ptrdiff_t>(len) - static_cast<std::ptrdiff_t>(16 * g));
  }
  __m512 x[kVectors];
  for (std::size_t k = 0; k < count;) {
    const std::uint32_t l = rot[k].l;
    float* xl = e + l * n + i0;
    for (std::size_t g = 0; g < kVectors; ++g) x[g] = _mm512_maskz_loadu_ps(mask[g], xl + 16 * g);
    for (; k < count && rot[k].l == l; ++k) {
      const __m512 c = _mm512_set1_ps(rot[k].c);
      const __m512 s = _mm512_set1_ps(rot[k].s);
      float* ym = e + rot[k].m * n + i0;
      for (std::size_t g = 0; g < kVectors; ++g) {
        __m512 y = _mm512_maskz_loadu_ps(mask[g], ym + 16 * g);
        rotate16(x[g], y, c, s);
        _mm512_mask_storeu_ps(ym + 16 * g, mask[g], y);
      }
    }
    for (std::size_t g = 0; g < kVectors; ++g) _mm512_mask_storeu_ps(xl + 16 * g, mask[g], x[g]);
  }
}

constexpr std::size_t kEigenBandVectors = 8;

// Rows r0 .. r1-1 of the eigenvectors.
void rotate_columns_avx512(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                           const ColumnRotation* rot, std::size_t count) {
  constexpr std::size_t band = 16 * kEigenBandVectors;
  std::size_t i0 = r0;
  for (; i0 + band <= r1; i0 += band) {
    rotate_band_avx512<kEigenBandVectors>(e, n, i0, band, rot, count);
  }
  const std::size_t len = r1 - i0;
  switch ((len + 15) / 16) {
    case 0: break;
    case 1: rotate_band_avx512<1>(e, n, i0, len, rot, count); break;
    case 2: rotate_band_avx512<2>(e, n, i0, len, rot, count); break;
    case 3: rotate_band_avx512<3>(e, n, i0, len, rot, count); break;
    case 4: rotate_band_avx512<4>(e, n, i0, len, rot, count); break;
    case 5: rotate_band_avx512<5>(e, n, i0, len, rot, count); break;
    case 6: rotate_band_avx512<6>(e, n, i0, len, rot, count); break;
    case 7: rotate_band_avx512<7>(e, n, i0, len, rot, count); break;
    default: rotate_band_avx512<8>(e, n, i0, len, rot, count); break;
  }
}

// Columns i0 .. i0+16*kVectors-1 of a block's rotations (pivot rows m[j],
// all m[j] > i0), in order: (i, l) of column l (x_col) against (m, i) of row
// m, for i < m. The band of column l stays in registers across the rotations.
template <std::size_t kVectors>
__attribute__((target("avx512f"))) void rotate_rows_above_avx512(float* mat, std::size_t ld,
                                                                float* x_col, std::size_t i0,
                                                                const std::size_t* m,
                                                                const float* cs, const float* sn,
                                                                std::size_t count) {
  constexpr std::size_t band = 16 * kVectors;
  __m512 x[kVectors];
  for (std::size_t g = 0; g < kVectors; ++g) x[g] = _mm512_loadu_ps(x_col + i0 + 16 * g);
  std::size_t j = 0;
  // Row m ends inside the band: only its lanes i < m take part.
  for (; j < count && m[j] < i0 + band; ++j) {
    const __m512 c = _mm512_set1_ps(cs[j]);
    const __m512 s = _mm512_set1_ps(sn[j]);
    float* ym = mat + m[j] * ld + i0;
    for (std::size_t g = 0; g < kVectors; ++g) {
      const __mmask16 mask = first_lanes(static_cast<std::ptrdiff_t>(m[j] - i0) -
                                         static_cast<std::ptrdiff_t>(16 * g));
      if (mask == 0) break;
      __m512 y = _mm512_maskz_loadu_ps(mask, ym + 16 * g);
      __m512 xg = x[g];
      rotate16(xg, y, c, s);
      _mm512_mask_storeu_ps(ym + 16 * g, mask, y);
      x[g] = _mm512_mask_mov_ps(x[g], mask, xg);
    }
  }
  for (; j < count; ++j) {
    const __m512 c = _mm512_set1_ps(cs[j]);
    const __m512 s = _mm512_set1_ps(sn[j]);
    float* ym = mat + m[j] * ld + i0;
    for (std::size_t g = 0; g < kVectors; ++g) {
      __m512 y = _mm512_loadu_ps(ym + 16 * g);
      rotate16(x[g], y, c, s);
      _mm512_storeu_ps(ym + 16 * g, y);
    }
  }
  for (std::size_t g = 0; g < kVectors; ++g) _mm512_storeu_ps(x_col + i0 + 16 * g, x[g]);
}

constexpr std::size_t kAboveVectors = 4;

// x' = x c - y s, y' = x s + y c on eight lanes.
__attribute__((target("avx2"))) inline void rotate8(__m256& x, __m256& y, __m256 c, __m256 s) {
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
__attribute__((target("avx2"))) void rotate_band_avx2(float* e, std::size_t n, std::size_t i0,
                                                     const ColumnRotation* rot,
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
// go to rotate_columns.
void rotate_columns_avx2(float* e, std::size_t n, std::size_t r0, std::size_t r1,
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
  if (i0 < r1) rotate_columns(e, n, i0, r1, rot, count);
}

// 8 x 8 transpose of eight registers.
__attribute__((target("avx2"))) inline void transpose8(__m256* a) {
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
// Iteration::rotate_rows_below): r points at the block's first column in the
// first row, x at the elements (i, l) of the rows. q[j] is the column of
// rotation j within the 16 columns; the rotations go in increasing q. The
// groups of eight rows are independent and are interleaved so that their
// chains of rotations overlap.
template <std::size_t kGroups>
__attribute__((target("avx2"))) void rotate_rows_avx2(float* r, std::size_t ld, float* x_col,
                                                     const std::size_t* q, const float* cs,
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

// GCC 12 warns about the undefined pass-through operand inside its own
// AVX-512 shuffle intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// 16 x 16 transpose of sixteen registers.
__attribute__((target("avx512f"))) inline void transpose16(__m512* a) {
  // Pairs of rows interleaved within each group of four columns.
  __m512 t[16];
  for (std::size_t k = 0; k < 16; k += 2) {
    t[k] = _mm512_unpacklo_ps(a[k], a[k + 1]);
    t[k + 1] = _mm512_unpackhi_ps(a[k], a[k + 1]);
  }
  // u[4k + c], 128-bit lane L: column 4L + c of rows 4k .. 4k+3.
  __m512 u[16];
  for (std::size_t k = 0; k < 16; k += 4) {
    u[k] = _mm512_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[k + 1] = _mm512_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[k + 2] = _mm512_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[k + 3] = _mm512_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  // Gather lane L of u[c], u[4 + c], u[8 + c], u[12 + c] into column 4L + c.
  for (std::size_t c = 0; c < 4; ++c) {
    const __m512 v0 = _mm512_shuffle_f32x4(u[c], u[4 + c], 0x88);
    const __m512 v1 = _mm512_shuffle_f32x4(u[c], u[4 + c], 0xDD);
    const __m512 w0 = _mm512_shuffle_f32x4(u[8 + c], u[12 + c], 0x88);
    const __m512 w1 = _mm512_shuffle_f32x4(u[8 + c], u[12 + c], 0xDD);
    a[c] = _mm512_shuffle_f32x4(v0, w0, 0x88);
    a[8 + c] = _mm512_shuffle_f32x4(v0, w0, 0xDD);
    a[4 + c] = _mm512_shuffle_f32x4(v1, w1, 0x88);
    a[12 + c] = _mm512_shuffle_f32x4(v1, w1, 0xDD);
  }
}

// Rows below a block of pivots, 16 * kGroups rows at a time, as
// rotate_rows_avx2 with one 16-lane register per column of the block.
template <std::size_t kGroups>
__attribute__((target("avx512f"))) void rotate_rows_avx512(float* r, std::size_t ld, float* x_col,
                                                          const std::size_t* q, const float* cs,
                                                          const float* sn, std::size_t count) {
  __m512 t[kGroups][16];
  __m512 x[kGroups];
  for (std::size_t g = 0; g < kGroups; ++g) {
    for (std::size_t h = 0; h < 16; ++h) t[g][h] = _mm512_loadu_ps(r + (16 * g + h) * ld);
    transpose16(t[g]);
    x[g] = _mm512_loadu_ps(x_col + 16 * g);
  }
  for (std::size_t j = 0; j < count; ++j) {
    const __m512 c = _mm512_set1_ps(cs[j]);
    const __m512 s = _mm512_set1_ps(sn[j]);
    for (std::size_t g = 0; g < kGroups; ++g) rotate16(x[g], t[g][q[j]], c, s);
  }
  for (std::size_t g = 0; g < kGroups; ++g) {
    _mm512_storeu_ps(x_col + 16 * g, x[g]);
    transpose16(t[g]);
    for (std::size_t h = 0; h < 16; ++h) _mm512_storeu_ps(r + (16 * g + h) * ld, t[g][h]);
  }
}

#pragma GCC diagnostic pop

#endif

// Byte counts that saturate instead of wrapping.
std::size_t saturating_product(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? SIZE_MAX : r;
}
std::size_t saturating_sum(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  return __builtin_add_overflow(a, b, &r) ? SIZE_MAX : r;
}

// Spin-waiting: a short pause, and now and then the processor is offered to
// other threads (there may be more threads than cores).
class Backoff {
 public:
  void pause() {
    if (++spins_ % 64 == 0) {
      std::this_thread::yield();
    } else {
#if defined(ORTHAXIS_AVX2_KERNELS)
      _mm_pause();
#endif
    }
  }

 private:
  unsigned spins_ = 0;
};

class Iteration {
 public:
  // `pool`: threads that help while the iteration goes on (see partner()).
  Iteration(std::size_t n, std::span<const float> a, float* e, detail::Kernels widest,
            WorkerPool* pool)
      : n_(n),
        ld_((n + kBlock - 1) / kBlock * kBlock),
        m_(n * ld_),
        col_(n + kColumnPad),
        e_(e),
        pool_(pool != nullptr && pool->size() > 1 ? pool : nullptr),
        blocks_(n / kBlock + 1),
        groups_((n + kGroupRows - 1) / kGroupRows) {
    for (std::size_t r = 0; r < n_; ++r) std::copy_n(&a[packed(r, 0)], r + 1, row(r));
#if defined(ORTHAXIS_AVX2_KERNELS)
    avx2_ = widest != detail::Kernels::kPortable && textio::have_avx2();
    avx512_ = avx2_ && widest == detail::Kernels::kAvx512 && textio::have_avx512();
#else
    (void)widest;
#endif
    if (pool_ != nullptr) {
      help_below_ = n_ >= kPartnerRows;
      help_above_ = help_below_;
      group_state_ = std::make_unique<std::atomic<std::uint64_t>[]>(groups_);
      for (std::size_t g = 0; g < groups_; ++g) group_state_[g].store(0, std::memory_order_relaxed);
      // No list of eigenvector rotations yet: every band taken and done.
      bands_next_.store(bands(), std::memory_order_relaxed);
      bands_done_.store(bands(), std::memory_order_relaxed);
      partners_ = pool_->start(std::min(pool_->size() - 1, kMostPartners),
                               [this](std::size_t) { partner(); });
    }
  }

  // One sweep over all pivot pairs at the threshold; true when any pair was rotated.
  bool sweep(float threshold) {
    bool rotated = false;
    if (n_ > 1) load_column(0);
    for (std::size_t l = 0; l + 1 < n_; ++l) {
      // Blocks of m end at multiples of kBlock; groups of kGroupRows rows
      // are worked on while they stay in cache. When the first block of a
      // group is reached, the group's rows take the rotations of the earlier
      // blocks of the pass. Each block's rotations then go to the rows of the
      // group below it and to the rows above its pivots (with partners,
      // those may wait until the end of the pass). Every row still takes the
      // blocks in order.
      begin_pass(l);
      std::size_t group_end = 0;
      for (std::size_t m0 = l + 1; m0 < n_;) {
        const std::size_t mend = std::min((m0 / kBlock + 1) * kBlock, n_);
        if (m0 >= group_end) {
          group_end = std::min((m0 / kGroupRows + 1) * kGroupRows, n_);
          const std::size_t done = close_group(m0 / kGroupRows);
          for (std::size_t j = done; j < block_count_; ++j) {
            rotate_rows_below(blocks_[j], m0, group_end);
          }
        }
        Block& block = blocks_[block_count_];
        block.count = 0;
        block.base = m0 / kBlock * kBlock;
        for (std::size_t m = m0; m < mend; ++m) {
          const float alm = col_[m];
          if (!(std::fabs(alm) - threshold >= 0.0f)) continue;
          rotate(l, m, mend, alm, block);
        }
        if (block.count > 0) {
          rotate_rows_below(block, mend, group_end);
          if (!help_above_) rotate_rows_above(l, block);
          publish_block();
          rotated = true;
        }
        m0 = mend;
      }
      finish_rows_above(l);
      if (l + 2 < n_) {
        next_column(l);
      } else {
        store_column(l);
      }
    }
    return rotated;
  }

  Iteration(const Iteration&) = delete;
  Iteration& operator=(const Iteration&) = delete;
  ~Iteration() {
    if (pool_ == nullptr) return;
    settle_eigenvectors();
    stop_.store(true, std::memory_order_release);
    wake_partners();
    try {
      pool_->wait(partners_);
    } catch (...) {
      // The partners do not throw; the iteration is being abandoned anyway.
    }
  }

  // Applies the rotations not yet applied to the eigenvectors. With a pool
  // they are offered to the partners in bands of rows, and the iteration
  // goes on recording the next ones; settle_eigenvectors() takes the bands
  // still left and waits for the others.
  void flush_eigenvectors() {
    if (pool_ == nullptr) {
      rotate_eigenvector_rows(pending_, 0, n_);
      pending_.clear();
      return;
    }
    settle_eigenvectors();
    applying_.swap(pending_);
    pending_.clear();
    bands_done_.store(0, std::memory_order_relaxed);
    const std::uint64_t gen = (bands_next_.load(std::memory_order_relaxed) >> 32) + 1;
    bands_next_.store(gen << 32, std::memory_order_release);
    wake_partners();
  }

  void settle_eigenvectors() {
    if (pool_ == nullptr) return;
    while (take_band()) {
    }
    Backoff backoff;
    while (bands_done_.load(std::memory_order_acquire) < bands()) backoff.pause();
  }

  std::int64_t rotations() const { return rotations_; }

 private:
  // The partners: each helper thread of the pool works beside the iteration
  // until it ends. It rotates bands of the eigenvectors when a list of
  // rotations is offered, and otherwise brings rows below the current group
  // up to date with the blocks of the pass published so far, a whole group
  // at a time, so that the iteration finds less to do when it reaches them.
  //
  // A group's state word holds the pass it belongs to, how many blocks of
  // that pass its rows have taken, and two flags: busy (a partner is
  // rotating its rows) and closed (the iteration has reached it; from then
  // on only the iteration touches it). A group's rows take the blocks in
  // their order whoever rotates them, so the values do not depend on the
  // number of threads or on their timing.
  static constexpr std::uint64_t kBusy = std::uint64_t{1} << 30;
  static constexpr std::uint64_t kClosed = std::uint64_t{1} << 31;
  static constexpr std::uint64_t kApplied = kBusy - 1;
  // Blocks a partner takes for a group in one go (the iteration may wait for them).
  static constexpr std::size_t kPartnerBlocks = 4;
  // Below this order the rows below are left to the iteration: its passes
  // are too short for a partner to win time there.
  static constexpr std::size_t kPartnerRows = 384;

  // The most partners: the iteration offers one block at a time to the rows
  // above, a band of eigenvector rows at a time and a group of rows below at
  // a time, which keeps about one partner busy; more would only look for
  // work, each polling the states the iteration writes.
  static constexpr std::size_t kMostPartners = 3;

  // A partner that has found nothing to do this many times in a row sleeps
  // until the iteration offers more.
  static constexpr unsigned kIdleRounds = 2048;

  void partner() {
    Backoff backoff;
    unsigned idle = 0;
    while (!stop_.load(std::memory_order_acquire)) {
      if (take_work()) {
        idle = 0;
        continue;
      }
      if (++idle < kIdleRounds) {
        backoff.pause();
        continue;
      }
      idle = 0;
      const std::uint32_t seen = wake_.load(std::memory_order_acquire);
      sleepers_.fetch_add(1, std::memory_order_relaxed);
      // Paired with the fence in wake_partners: either the iteration sees
      // this sleeper, or the look below sees its new work.
      std::atomic_thread_fence(std::memory_order_seq_cst);
      if (!stop_.load(std::memory_order_acquire) && !take_work()) wake_.wait(seen);
      sleepers_.fetch_sub(1, std::memory_order_relaxed);
    }
  }

  bool take_work() {
    return (help_above_ && help_above()) || take_band() || (help_below_ && help_below());
  }

  // New work for the partners (or the end): wakes those that sleep.
  void wake_partners() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_relaxed) == 0) return;
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_all();
  }

  // Rows of the eigenvectors in one band offered to the partners. A band
  // of a full list keeps a partner busy for about half a millisecond; in
  // that time it gives no blocks to the rows above and below, and a flush
  // may wait for it.
  static constexpr std::size_t kEigenBand = 64;
  std::size_t bands() const { return (n_ + kEigenBand - 1) / kEigenBand; }

  // Rotates the next band of the eigenvectors not yet taken; false when
  // every band is taken.
  bool take_band() {
    std::uint64_t next = bands_next_.load(std::memory_order_acquire);
    for (;;) {
      const std::size_t band = static_cast<std::uint32_t>(next);
      if (band >= bands()) return false;
      if (bands_next_.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel)) {
        rotate_eigenvector_rows(applying_, band * kEigenBand,
                                std::min(n_, (band + 1) * kEigenBand));
        bands_done_.fetch_add(1, std::memory_order_release);
        return true;
      }
    }
  }

  // Gives up to kPartnerBlocks published blocks to a group past the
  // iteration that still lacks some; false when there is none. The last
  // groups are taken first: the iteration reaches them last, so it seldom
  // has to wait for a partner there.
  bool help_below() {
    const std::uint64_t published = published_.load(std::memory_order_acquire);
    const std::uint64_t pass = published >> 32;
    const std::size_t count = static_cast<std::uint32_t>(published);
    const std::size_t current = current_group_.load(std::memory_order_relaxed);
    for (std::size_t g = groups_ - 1; g > current; --g) {
      std::uint64_t state = group_state_[g].load(std::memory_order_acquire);
      if ((state >> 32) != pass || (state & (kBusy | kClosed)) != 0) continue;
      const std::size_t applied = state & kApplied;
      if (applied >= count) continue;
      if (!group_state_[g].compare_exchange_strong(state, state | kBusy,
                                                   std::memory_order_acq_rel)) {
        continue;
      }
      const std::size_t upto = std::min(count, applied + kPartnerBlocks);
      const std::size_t from = g * kGroupRows;
      const std::size_t to = std::min(n_, from + kGroupRows);
      for (std::size_t j = applied; j < upto; ++j) rotate_rows_below(blocks_[j], from, to);
      group_state_[g].store((pass << 32) | upto, std::memory_order_release);
      return true;
    }
    return false;
  }

  // Gives the next published block its rotations on the rows above the
  // pivots, the blocks in order; false when there is none. One block at a
  // time: at the end of the pass the iteration waits for the block a
  // partner holds. The element at i = l is left out: its result would be
  // thrown away (see rotate_rows_above), and (l, l) is the iteration's
  // while the pass goes on. Everything else these rotations touch, column
  // l above the block being built and the rows of earlier blocks, is read
  // by nothing else until the pass ends (see finish_rows_above).
  bool help_above() {
    const std::uint64_t published = published_.load(std::memory_order_acquire);
    const std::uint64_t pass = published >> 32;
    const std::size_t count = static_cast<std::uint32_t>(published);
    std::uint64_t state = above_state_.load(std::memory_order_acquire);
    if ((state >> 32) != pass || (state & (kBusy | kClosed)) != 0) return false;
    const std::size_t applied = state & kApplied;
    if (applied >= count) return false;
    if (!above_state_.compare_exchange_strong(state, state | kBusy, std::memory_order_acq_rel)) {
      return false;
    }
    // The pass cannot end while the state is busy, so pivot_ is this pass's l.
    const std::size_t l = pivot_;
    rotate_above_range(blocks_[applied], 0, l);
    rotate_above_range(blocks_[applied], l + 1, n_);
    above_state_.store((pass << 32) | (applied + 1), std::memory_order_release);
    return true;
  }

  // The end of the pass of l: the rows above the pivots take the blocks the
  // partners have not given them, before column l goes back to the rows.
  void finish_rows_above(std::size_t l) {
    if (!help_above_) return;
    Backoff backoff;
    std::uint64_t state = above_state_.load(std::memory_order_acquire);
    for (;;) {
      if ((state & kBusy) != 0) {
        backoff.pause();
        state = above_state_.load(std::memory_order_acquire);
        continue;
      }
      if (above_state_.compare_exchange_weak(state, state | kClosed, std::memory_order_acq_rel)) {
        break;
      }
    }
    for (std::size_t j = state & kApplied; j < block_count_; ++j) rotate_rows_above(l, blocks_[j]);
  }

  // A new pass: no block yet, and every group of rows below l is open.
  void begin_pass(std::size_t l) {
    block_count_ = 0;
    if (!help_below_) return;
    ++pass_;
    pivot_ = l;
    above_state_.store(pass_ << 32, std::memory_order_relaxed);
    const std::size_t first = (l + 1) / kGroupRows;
    for (std::size_t g = first; g < groups_; ++g) {
      group_state_[g].store(pass_ << 32, std::memory_order_relaxed);
    }
    current_group_.store(first, std::memory_order_relaxed);
    published_.store(pass_ << 32, std::memory_order_release);
  }

  // The block being built is complete: the rows below it may take it.
  void publish_block() {
    ++block_count_;
    if (help_below_) {
      published_.store((pass_ << 32) | block_count_, std::memory_order_release);
      wake_partners();
    }
  }

  // The iteration reaches group g: no partner touches it any more. Returns
  // the number of blocks its rows have taken already.
  std::size_t close_group(std::size_t g) {
    if (!help_below_) return 0;
    current_group_.store(g, std::memory_order_relaxed);
    Backoff backoff;
    std::uint64_t state = group_state_[g].load(std::memory_order_acquire);
    for (;;) {
      if ((state & kBusy) != 0) {
        backoff.pause();
        state = group_state_[g].load(std::memory_order_acquire);
        continue;
      }
      if (group_state_[g].compare_exchange_weak(state, state | kClosed,
                                                std::memory_order_acq_rel)) {
        return state & kApplied;
      }
    }
  }

  // Each row of the eigenvectors takes the rotations in their order; rows
  // are independent of each other.
  void rotate_eigenvector_rows(const std::vector<ColumnRotation>& rot, std::size_t r0,
                               std::size_t r1) {
#if defined(ORTHAXIS_AVX2_KERNELS)
    if (avx512_) {
      rotate_columns_avx512(e_, n_, r0, r1, rot.data(), rot.size());
      return;
    }
    if (avx2_) {
      rotate_columns_avx2(e_, n_, r0, r1, rot.data(), rot.size());
      return;
    }
#endif
    rotate_columns(e_, n_, r0, r1, rot.data(), rot.size());
  }

 public:

  // The most bytes an iteration on n rows holds: the padded triangle, column
  // l, the recorded eigenvector rotations, the blocks of one pass and the
  // states of the groups of rows.
  static std::size_t workspace_bytes(std::size_t n) {
    const std::size_t ld = (n + kBlock - 1) / kBlock * kBlock;
    std::size_t bytes = saturating_product(saturating_product(n, ld), sizeof(float));
    bytes = saturating_sum(bytes, saturating_product(n + kColumnPad, sizeof(float)));
    // Recorded rotations, twice: the pool applies one list while the next is recorded.
    bytes = saturating_sum(bytes, 2 * kPendingLimit * sizeof(ColumnRotation));
    bytes = saturating_sum(bytes, saturating_product(n / kBlock + 1, sizeof(Block)));
    // The state of each group of rows, for the partners.
    return saturating_sum(bytes, saturating_product(n / kGroupRows + 1, sizeof(std::uint64_t)));
  }

  void store(std::span<float> a) const {
    for (std::size_t r = 0; r < n_; ++r) std::copy_n(m_.data() + r * ld_, r + 1, &a[packed(r, 0)]);
  }

 private:
  static constexpr std::size_t kBlock = 16;
  static constexpr std::size_t kGroupRows = 64;
  // Room after column l for whole vectors of rows.
#if defined(ORTHAXIS_AVX2_KERNELS)
  static constexpr std::size_t kColumnPad = 16 * kAboveVectors;
#else
  static constexpr std::size_t kColumnPad = 0;
#endif

  // The rotations of one block of m, for the rows below the block.
  struct Block {
    std::size_t base = 0;  // first of the block's 16 columns
    std::size_t count = 0;
    std::size_t m[kBlock];
    std::size_t q[kBlock];  // m - base
    float c[kBlock];
    float s[kBlock];
  };

  float* row(std::size_t r) { return m_.data() + r * ld_; }

  void load_column(std::size_t l) {
    const float* rl = row(l);
    for (std::size_t i = 0; i <= l; ++i) col_[i] = rl[i];
    for (std::size_t i = l + 1; i < n_; ++i) col_[i] = m_[i * ld_ + l];
  }

  void store_column(std::size_t l) {
    float* rl = row(l);
    for (std::size_t i = 0; i <= l; ++i) rl[i] = col_[i];
    for (std::size_t i = l + 1; i < n_; ++i) m_[i * ld_ + l] = col_[i];
  }

  // Rows ahead that next_column fetches into cache: its elements lie a row
  // apart, a stride the processor does not foresee.
  static constexpr std::size_t kColumnAhead = 16;

  // store_column(l), then load_column(l + 1) in the same walk down the rows:
  // (i, l) and (i, l + 1) are neighbours in row i.
  void next_column(std::size_t l) {
    float* rl = row(l);
    float* rn = row(l + 1);
    for (std::size_t i = 0; i <= l; ++i) rl[i] = col_[i];
    rn[l] = col_[l + 1];
    for (std::size_t i = 0; i <= l + 1; ++i) col_[i] = rn[i];
    for (std::size_t i = l + 2; i < n_; ++i) {
      if (i + kColumnAhead < n_) __builtin_prefetch(row(i + kColumnAhead) + l, 1);
      float* ri = row(i);
      ri[l] = col_[i];
      col_[i] = ri[l + 1];
    }
  }

  // Rotation (l, m): the pairs (i, l), (i, m) inside the block now, those
  // above the pivot (i < m) in rotate_rows_above once the block's rotations
  // are known, and those below the block in rotate_rows_below when the
  // strip of each later block is reached.
  void rotate(std::size_t l, std::size_t m, std::size_t mend, float alm, Block& block) {
    float* rm = row(m);
    float* cl = col_.data();
    const float all = cl[l];
    const float amm = rm[m];
    const Rotation r = rotation_for(all, amm, alm);
    // m < i < mend: the elements (i, m) of the following rows of the block.
    for (std::size_t i = m + 1; i < mend; ++i) {
      float& aim = m_[i * ld_ + m];
      const float x = cl[i] * r.c - aim * r.s;
      aim = cl[i] * r.s + aim * r.c;
      cl[i] = x;
    }
    block.m[block.count] = m;
    block.q[block.count] = m - block.base;
    block.c[block.count] = r.c;
    block.s[block.count] = r.s;
    ++block.count;
    pending_.push_back({static_cast<std::uint32_t>(l), static_cast<std::uint32_t>(m), r.c, r.s});
    if (pending_.size() == kPendingLimit) flush_eigenvectors();

    float x = 2.0f * alm * r.sc;
    const float y = all * r.c2 + amm * r.s2 - x;
    x = all * r.s2 + amm * r.c2 + x;
    cl[m] = (all - amm) * r.sc + alm * (r.c2 - r.s2);
    cl[l] = y;
    rm[m] = x;
    ++rotations_;
  }

  // Rows i < m of the block's rotations, in the order of the rotations:
  // (i, l) of column l against (m, i) of row m. No later rotation of the
  // block reads these elements, so they wait until the block's rotations are
  // known. Row m and column l are both contiguous. The pair at i = l is
  // computed too and thrown away: (l, l) is restored below, and (m, l) of
  // row m is overwritten from the column at the end of the pass.
  void rotate_rows_above(std::size_t l, const Block& b) {
    float* cl = col_.data();
    const float all = cl[l];
#if defined(ORTHAXIS_AVX2_KERNELS)
    if (avx512_) {
      constexpr std::size_t band = 16 * kAboveVectors;
      std::size_t j = 0;
      for (std::size_t i0 = 0; i0 < b.m[b.count - 1]; i0 += band) {
        while (b.m[j] <= i0) ++j;
        rotate_rows_above_avx512<kAboveVectors>(m_.data(), ld_, cl, i0, b.m + j, b.c + j,
                                                b.s + j, b.count - j);
      }
      cl[l] = all;
      return;
    }
#endif
    rotate_above_range(b, 0, n_);
    cl[l] = all;
  }

  // The block's rotations on the pairs (i, l), (m, i) with i < m and
  // lo <= i < hi. Four rotations go at a time over the elements below the
  // first one's pivot, where all four apply; each element still takes them
  // in order, and the elements between the pivots take the rest of the four
  // one by one.
  void rotate_above_range(const Block& b, std::size_t lo, std::size_t hi) {
    float* cl = col_.data();
    // Elements lo .. hi-1 that lie in from .. to-1: [a, e), empty when a >= e.
    const auto clip = [lo, hi](std::size_t from, std::size_t to) {
      return std::pair{std::max(from, lo), std::min(to, hi)};
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

  // Rows from .. to-1 below the block: the block's rotations in order on
  // (i, l) and (i, m), where the elements (i, m) of the block are adjacent
  // in row i.
  void rotate_rows_below(const Block& b, std::size_t from, std::size_t to) {
    float* cl = col_.data();
    std::size_t i = from;
#if defined(__SSE__)
    // Several rows at a time: square tiles of the block's 16 columns are
    // transposed so that each register holds one column for those rows
    // (eight rows with AVX2 where the processor has it, then four).
    const std::size_t base = b.base;
#if defined(ORTHAXIS_AVX2_KERNELS)
    if (avx2_) {
      const std::size_t* q = b.q;
      if (avx512_) {
        for (; i + 64 <= to; i += 64) {
          rotate_rows_avx512<4>(row(i) + base, ld_, cl + i, q, b.c, b.s, b.count);
        }
        for (; i + 16 <= to; i += 16) {
          rotate_rows_avx512<1>(row(i) + base, ld_, cl + i, q, b.c, b.s, b.count);
        }
      }
      for (; i + 32 <= to; i += 32) {
        rotate_rows_avx2<4>(row(i) + base, ld_, cl + i, q, b.c, b.s, b.count);
      }
      for (; i + 8 <= to; i += 8) {
        rotate_rows_avx2<1>(row(i) + base, ld_, cl + i, q, b.c, b.s, b.count);
      }
    }
#endif
    for (; i + 4 <= to; i += 4) {
      float* r0 = row(i) + base;
      __m128 t[kBlock];
      for (std::size_t k = 0; k < kBlock; k += 4) {
        __m128 a0 = _mm_loadu_ps(r0 + k);
        __m128 a1 = _mm_loadu_ps(r0 + ld_ + k);
        __m128 a2 = _mm_loadu_ps(r0 + 2 * ld_ + k);
        __m128 a3 = _mm_loadu_ps(r0 + 3 * ld_ + k);
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
        _mm_storeu_ps(r0 + ld_ + k, a1);
        _mm_storeu_ps(r0 + 2 * ld_ + k, a2);
        _mm_storeu_ps(r0 + 3 * ld_ + k, a3);
      }
    }
#endif
    for (; i < to; ++i) {
      float* ri = row(i);
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

  std::size_t n_;
  std::size_t ld_;
  std::vector<float> m_;    // lower triangle, row r holds (r, 0..r)
  std::vector<float> col_;  // column l during the pass of pivot l
  float* e_;
  std::vector<ColumnRotation> pending_;
  WorkerPool* pool_;
  std::vector<ColumnRotation> applying_;  // offered to the partners
  std::vector<Block> blocks_;             // blocks of the current pass of l that rotated
  std::size_t block_count_ = 0;
  std::size_t groups_;                    // groups of kGroupRows rows
  bool avx2_ = false;                     // 8-lane kernels
  bool avx512_ = false;                   // 16-lane kernels
  std::int64_t rotations_ = 0;
  // Shared with the partners (only with a pool).
  std::uint64_t pass_ = 0;                               // passes begun
  std::unique_ptr<std::atomic<std::uint64_t>[]> group_state_;
  std::atomic<std::uint64_t> published_{0};              // pass, blocks published
  std::atomic<std::uint64_t> above_state_{0};  // as a group's state, for the rows above
  std::size_t pivot_ = 0;                      // l of the pass (read by a busy partner)
  std::atomic<std::size_t> current_group_{0};            // where partners start looking
  std::atomic<std::uint64_t> bands_next_{0};             // list, next eigenvector band
  std::atomic<std::size_t> bands_done_{0};               // bands of the list rotated
  std::atomic<bool> stop_{false};
  std::atomic<std::uint32_t> wake_{0};      // changes when sleeping partners should look again
  std::atomic<std::uint32_t> sleepers_{0};  // partners asleep or about to be
  bool help_below_ = false;                 // partners give blocks to the rows below
  bool help_above_ = false;                 // and to the rows above the pivots
  WorkerPool::Handle partners_;
};

// Bytes that sort allocates for n values.
std::size_t sort_workspace_bytes(std::size_t n) {
  return saturating_sum(saturating_product(saturating_product(n, n), sizeof(float)),
                        saturating_product(n, sizeof(float) + sizeof(std::size_t)));
}

// Exchange sort by decreasing value of the diagonal, moving the eigenvector
// columns along. The exchanges are played on the values and a column order;
// the columns are then moved once.
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
                             textio::Console& console, Kernels widest, WorkerPool* pool,
                             const ThresholdStep& on_step) {
  JacobiCounts counts;
  if (p < 1) return counts;
  const auto n = static_cast<std::size_t>(p);
  std::fill_n(e.begin(), n * n, 0.0f);
  for (std::size_t i = 0; i < n; ++i) e[i * n + i] = 1.0f;

  float norm = 0.0f;
  if (initial_norm(n, a, norm)) {
    const float pf = static_cast<float>(p);
    const float final_threshold = norm * 0.000001f / pf;
    float threshold = norm;
    print(kThresholdLine, final_threshold, console);
    Iteration it(n, a, e.data(), widest, pool);
    for (;;) {
      threshold = threshold / pf;
      print(kCurrentLine, threshold, console);
      if (on_step) on_step(threshold, final_threshold);
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
      if (!(threshold - final_threshold > 0.0f)) break;
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
                   textio::Console& console, WorkerPool* pool, const ThresholdStep& on_step) {
  return detail::jacobi_counting(p, a, e, console, detail::Kernels::kAvx512, pool, on_step)
      .convergence;
}

Convergence jacobi_directly(std::int32_t p, std::span<float> a_, std::span<float> e_,
                            textio::Console& console) {
  auto A = [&](std::int64_t k) -> float& { return a_[static_cast<std::size_t>(k - 1)]; };
  auto E = [&](std::int64_t k) -> float& { return e_[static_cast<std::size_t>(k - 1)]; };
  const std::int64_t n = p;
  // The eigenvectors start as the identity.
  for (std::int64_t k = 1; k <= n * n; ++k) E(k) = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) E((i - 1) * n + i) = 1.0f;
  // Sum of the squares of the off-diagonal elements, each pair once.
  float anorm = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) {
    for (std::int64_t j = i; j <= n; ++j) {
      if (j != i) {
        const float v = A(i + (j * j - j) / 2);
        anorm = anorm + v * v;
      }
    }
  }
  // The same sum in double precision, where single precision overflows.
  double wide = 0.0;
  const bool overflow = !std::isfinite(anorm);
  if (overflow) {
    for (std::int64_t i = 1; i <= n; ++i) {
      for (std::int64_t j = i; j <= n; ++j) {
        if (j != i) {
          const double v = A(i + (j * j - j) / 2);
          wide = wide + v * v;
        }
      }
    }
  }
  const bool nothing_to_rotate = overflow ? !(wide > 0.0) : (anorm <= 0.0f || std::isnan(anorm));
  if (!nothing_to_rotate) {
    // Initial norm, final threshold, first threshold.
    anorm = overflow ? static_cast<float>(static_cast<double>(1.414f) * std::sqrt(wide))
                     : 1.414f * std::sqrt(anorm);
    const float pf = static_cast<float>(p);
    const float fnorm = anorm * 0.000001f / pf;
    float thr = anorm;
    print(kThresholdLine, fnorm, console);
    for (;;) {
      // One threshold step: sweeps until a sweep rotates nothing.
      thr = thr / pf;
      print(kCurrentLine, thr, console);
      int ind = 1;
      for (std::int32_t sweep = 1; ind == 1; ++sweep) {
        if (sweep > kSweepLimit) return Convergence::kNotConverged;
        ind = 0;
        for (std::int64_t l = 1; l <= n - 1; ++l) {
          for (std::int64_t m = l + 1; m <= n; ++m) {
            const std::int64_t lq = (l * l - l) / 2;
            const std::int64_t mq = (m * m - m) / 2;
            const std::int64_t lm = l + mq;
            const float d = std::fabs(A(lm)) - thr;
            if (d < 0.0f || std::isnan(d)) continue;
            ind = 1;
            const std::int64_t ll = l + lq;
            const std::int64_t mm = m + mq;
            float x = 0.5f * (A(ll) - A(mm));
            float y;
            const float squares = A(lm) * A(lm) + x * x;
            if (std::isfinite(squares)) {
              y = -A(lm) / std::sqrt(squares);
            } else {
              const double al = A(lm);
              const double xd = x;
              y = static_cast<float>(-al / std::sqrt(al * al + xd * xd));
            }
            if (x < 0.0f) y = -y;
            const float sinx = y / std::sqrt(2.0f * (1.0f + std::sqrt(1.0f - y * y)));
            const float sinx2 = sinx * sinx;
            const float cosx = std::sqrt(1.0f - sinx2);
            const float cosx2 = cosx * cosx;
            const float sincs = sinx * cosx;
            for (std::int64_t i = 1; i <= n; ++i) {
              const std::int64_t iq = (i * i - i) / 2;
              if (i != l && i != m) {
                const std::int64_t im = i < m ? i + mq : m + iq;
                const std::int64_t il = i < l ? i + lq : l + iq;
                x = A(il) * cosx - A(im) * sinx;
                A(im) = A(il) * sinx + A(im) * cosx;
                A(il) = x;
              }
              const std::int64_t el = n * (l - 1) + i;
              const std::int64_t em = n * (m - 1) + i;
              x = E(el) * cosx - E(em) * sinx;
              E(em) = E(el) * sinx + E(em) * cosx;
              E(el) = x;
            }
            x = 2.0f * A(lm) * sincs;
            y = A(ll) * cosx2 + A(mm) * sinx2 - x;
            x = A(ll) * sinx2 + A(mm) * cosx2 + x;
            A(lm) = (A(ll) - A(mm)) * sincs + A(lm) * (cosx2 - sinx2);
            A(ll) = y;
            A(mm) = x;
          }
        }
      }
      const float left = thr - fnorm;
      if (left <= 0.0f || std::isnan(left)) break;
    }
  }
  // Exchange sort by decreasing diagonal, the eigenvector columns moving along.
  for (std::int64_t i = 1; i <= n; ++i) {
    const std::int64_t ll = i + (i * i - i) / 2;
    for (std::int64_t j = i; j <= n; ++j) {
      const std::int64_t mm = j + (j * j - j) / 2;
      if (A(ll) - A(mm) < 0.0f) {
        const float x = A(ll);
        A(ll) = A(mm);
        A(mm) = x;
        for (std::int64_t k = 1; k <= n; ++k) {
          const std::int64_t ik = (i - 1) * n + k;
          const std::int64_t jk = (j - 1) * n + k;
          const float t = E(ik);
          E(ik) = E(jk);
          E(jk) = t;
        }
      }
    }
  }
  return Convergence::kConverged;
}

std::size_t jacobi_workspace_bytes(std::int32_t p) {
  if (p < 1) return 0;
  const std::size_t n = static_cast<std::size_t>(p);
  return std::max(Iteration::workspace_bytes(n), sort_workspace_bytes(n));
}

}  // namespace orthaxis::analysis
