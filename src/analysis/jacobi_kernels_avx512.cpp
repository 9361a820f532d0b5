// The AVX-512 kernels: sixteen lanes. This file is compiled with -mavx512f
// (see CMakeLists.txt) and runs only where the processor has AVX-512F.

#include "analysis/jacobi_kernels.h"

#if defined(ORTHAXIS_AVX2_KERNELS)

#if !defined(__AVX512F__)
#error "jacobi_kernels_avx512.cpp is compiled with -mavx512f"
#endif

#include <immintrin.h>

namespace orthaxis::analysis {
namespace {

// Lanes 0 .. count-1 of a 16-lane mask (all lanes for count >= 16, none for count <= 0).
inline __mmask16 first_lanes(std::ptrdiff_t count) {
  if (count <= 0) return 0;
  if (count >= 16) return 0xFFFF;
  return static_cast<__mmask16>((1u << count) - 1u);
}

// x' = x c - y s, y' = x s + y c on sixteen lanes.
inline void rotate16(__m512& x, __m512& y, __m512 c, __m512 s) {
  const __m512 xn = _mm512_sub_ps(_mm512_mul_ps(x, c), _mm512_mul_ps(y, s));
  y = _mm512_add_ps(_mm512_mul_ps(x, s), _mm512_mul_ps(y, c));
  x = xn;
}

// Eigenvector rotations on rows i0 .. i0+len-1 (len <= 16 * kVectors) of
// every column. Consecutive rotations that share column l keep its rows in
// registers, so each rotation loads and stores only column m.
template <std::size_t kVectors>
void rotate_band_avx512(float* e, std::size_t n, std::size_t i0, std::size_t len,
                        const ColumnRotation* rot, std::size_t count) {
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
void columns_avx512(float* e, std::size_t n, std::size_t r0, std::size_t r1,
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
void rotate_rows_above_avx512(float* mat, std::size_t ld, float* x_col, std::size_t i0,
                              const std::size_t* m, const float* cs, const float* sn,
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

// GCC 12 warns about the undefined pass-through operand inside its own
// AVX-512 shuffle intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// 16 x 16 transpose of sixteen registers.
inline void transpose16(__m512* a) {
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
void rotate_rows_avx512(float* r, std::size_t ld, float* x_col, const std::size_t* q,
                        const float* cs, const float* sn, std::size_t count) {
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

}  // namespace

namespace avx512_kernels {

void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count) {
  columns_avx512(e, n, r0, r1, rot, count);
}

// 64 rows at a time, then 16; the rows left go to the AVX2 kernel.
void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to) {
  std::size_t i = from;
  for (; i + 64 <= to; i += 64) {
    rotate_rows_avx512<4>(mat + i * ld + b.base, ld, col + i, b.q, b.c, b.s, b.count);
  }
  for (; i + 16 <= to; i += 16) {
    rotate_rows_avx512<1>(mat + i * ld + b.base, ld, col + i, b.q, b.c, b.s, b.count);
  }
  if (i < to) avx2_kernels::rotate_rows_below(mat, ld, col, b, i, to);
}

// Bands of 16 * kAboveVectors rows; each band takes the rotations whose
// pivot lies below its first row.
void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b) {
  constexpr std::size_t band = 16 * kAboveVectors;
  static_assert(band <= kColumnPad);
  std::size_t j = 0;
  for (std::size_t i0 = 0; i0 < b.m[b.count - 1]; i0 += band) {
    while (b.m[j] <= i0) ++j;
    rotate_rows_above_avx512<kAboveVectors>(mat, ld, col, i0, b.m + j, b.c + j, b.s + j,
                                            b.count - j);
  }
}

}  // namespace avx512_kernels
}  // namespace orthaxis::analysis

#endif
