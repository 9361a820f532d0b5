#include "analysis/jacobi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <string_view>
#include <vector>

#include "textio/format.h"
#include "textio/value.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// The iteration works on a full symmetric copy of the packed triangle with
// rows padded to a multiple of 16 floats, so that the two rows of a rotation
// are contiguous and the pairwise updates run as vector loops. Every element
// still receives exactly the single-precision operations of the rotation
// formulas, in the same order as on the packed triangle; the copy only changes
// where values are kept:
//  - During the pass of pivot row l, row l holds the current elements (i, l);
//    the stale column l is refreshed from it when the pass ends.
//  - A rotation (l, m) updates rows l and m in full; the mirror writes into
//    column m are deferred to the end of a block of consecutive m, where they
//    become short contiguous runs in each row. Elements between two rows of
//    the same block are mirrored at once, because the next rotation of the
//    block reads them.
//  - The loops run over every i, also i = l and i = m; the values they leave
//    there are discarded: the pivot elements are saved before the loop and
//    written afterwards, and (m, l) is refreshed at the end of the pass.

namespace orthaxis::analysis {
namespace {

const textio::Format kThresholdLine{"(/' EIGENANALYSIS UNDERWAY'//' THRESHOLD =',F25.15/)"};
const textio::Format kCurrentLine{"(1H+,'CURRENT V.=',F25.15)"};

constexpr std::size_t kMirrorBlock = 16;

void print(const textio::Format& format, float value, textio::Console& console) {
  const textio::Value values[] = {value};
  format.write(values, [&console](std::string_view record) { console.write(record); });
}

// Packed position of (r, c), c <= r, 0-based.
inline std::size_t packed(std::size_t r, std::size_t c) { return r * (r + 1) / 2 + c; }

// x' = x c - y s and y' = x s + y c for every pair (x[i], y[i]).
__attribute__((target_clones("avx2", "default"))) void rotate_pairs(float* __restrict x, float* __restrict y, std::size_t n, float c, float s) {
  for (std::size_t i = 0; i < n; ++i) {
    const float xi = x[i];
    const float yi = y[i];
    x[i] = xi * c - yi * s;
    y[i] = xi * s + yi * c;
  }
}

// Rotation of the eigenvector columns l and m.
struct ColumnRotation {
  std::uint32_t l, m;
  float c, s;
};

// The eigenvectors never feed back into the rotations, and each row of E is
// rotated independently of the others, so the column rotations are recorded
// and applied later to bands of rows that stay in cache, each element still
// receiving the rotations one by one in the order they were made.
constexpr std::size_t kPendingLimit = std::size_t{1} << 16;
constexpr std::size_t kBandRows = 64;

__attribute__((target_clones("avx2", "default"))) void rotate_columns(
    float* e, std::size_t n, const ColumnRotation* rot, std::size_t count) {
  for (std::size_t i0 = 0; i0 < n; i0 += kBandRows) {
    const std::size_t len = std::min(kBandRows, n - i0);
    for (std::size_t k = 0; k < count; ++k) {
      float* __restrict x = e + rot[k].l * n + i0;
      float* __restrict y = e + rot[k].m * n + i0;
      const float c = rot[k].c;
      const float s = rot[k].s;
      for (std::size_t i = 0; i < len; ++i) {
        const float xi = x[i];
        const float yi = y[i];
        x[i] = xi * c - yi * s;
        y[i] = xi * s + yi * c;
      }
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
  float y = -alm / std::sqrt(alm * alm + x * x);
  if (x < 0.0f) y = -y;
  Rotation r;
  r.s = y / std::sqrt(2.0f * (1.0f + std::sqrt(1.0f - y * y)));
  r.s2 = r.s * r.s;
  r.c = std::sqrt(1.0f - r.s2);
  r.c2 = r.c * r.c;
  r.sc = r.s * r.c;
  return r;
}

class Iteration {
 public:
  Iteration(std::size_t n, std::span<const float> a, float* e)
      : n_(n), ld_((n + 15) / 16 * 16), m_(n * ld_), e_(e) {
    for (std::size_t r = 0; r < n_; ++r) {
      for (std::size_t c = 0; c <= r; ++c) {
        m_[r * ld_ + c] = a[packed(r, c)];
        m_[c * ld_ + r] = a[packed(r, c)];
      }
    }
  }

  // One sweep over all pivot pairs at the threshold; true when any pair was rotated.
  bool sweep(float threshold) {
    bool rotated = false;
    for (std::size_t l = 0; l + 1 < n_; ++l) {
      float* rl = row(l);
      // Blocks of m end at multiples of kMirrorBlock, so that the mirror
      // writes of a full block fill one aligned run in each row.
      for (std::size_t m0 = l + 1; m0 < n_;) {
        const std::size_t mend = std::min((m0 / kMirrorBlock + 1) * kMirrorBlock, n_);
        std::size_t done[kMirrorBlock];
        std::size_t count = 0;
        for (std::size_t m = m0; m < mend; ++m) {
          const float alm = rl[m];
          if (!(std::fabs(alm) - threshold >= 0.0f)) continue;
          rotate(l, m, alm);
          float* rm = row(m);
          for (std::size_t k = m0; k < mend; ++k) {
            if (k != m) m_[k * ld_ + m] = rm[k];
          }
          done[count++] = m;
        }
        if (count > 0) mirror(l, m0, mend, done, count);
        rotated = rotated || count > 0;
        m0 = mend;
      }
      for (std::size_t i = 0; i < n_; ++i) {
        if (i != l) m_[i * ld_ + l] = rl[i];
      }
    }
    return rotated;
  }

  // Applies the rotations not yet applied to the eigenvectors.
  void flush_eigenvectors() {
    rotate_columns(e_, n_, pending_.data(), pending_.size());
    pending_.clear();
  }

  std::int64_t rotations() const { return rotations_; }

  void store(std::span<float> a) const {
    for (std::size_t r = 0; r < n_; ++r) {
      for (std::size_t c = 0; c <= r; ++c) a[packed(r, c)] = m_[r * ld_ + c];
    }
  }

 private:
  float* row(std::size_t r) { return m_.data() + r * ld_; }

  void rotate(std::size_t l, std::size_t m, float alm) {
    float* rl = row(l);
    float* rm = row(m);
    const float all = rl[l];
    const float amm = rm[m];
    const Rotation r = rotation_for(all, amm, alm);
    rotate_pairs(rl, rm, n_, r.c, r.s);
    pending_.push_back({static_cast<std::uint32_t>(l), static_cast<std::uint32_t>(m), r.c, r.s});
    if (pending_.size() == kPendingLimit) flush_eigenvectors();
    float x = 2.0f * alm * r.sc;
    const float y = all * r.c2 + amm * r.s2 - x;
    x = all * r.s2 + amm * r.c2 + x;
    rl[m] = (all - amm) * r.sc + alm * (r.c2 - r.s2);
    rl[l] = y;
    rm[m] = x;
    ++rotations_;
  }

  // Column m = row m for the rotated rows of the block [m0, mend), outside
  // the block and row l. Within the block the two copies already agree, and
  // so do row and column of a block row that was not rotated, so a full
  // block is transposed as a whole; row l keeps its own (current) elements.
  void mirror(std::size_t l, std::size_t m0, std::size_t mend, const std::size_t* done,
              std::size_t count) {
#if defined(__SSE__)
    if (mend - m0 == kMirrorBlock && count >= 4) {
      float keep[kMirrorBlock];
      std::copy_n(row(l) + m0, kMirrorBlock, keep);
      transpose_block(m0);
      std::copy_n(keep, kMirrorBlock, row(l) + m0);
      return;
    }
#endif
    for (std::size_t i = 0; i < n_; ++i) {
      if (i == l || (i >= m0 && i < mend)) continue;
      float* ri = row(i);
      for (std::size_t k = 0; k < count; ++k) ri[done[k]] = m_[done[k] * ld_ + i];
    }
  }

#if defined(__SSE__)
  // Rows m0 .. m0+15 copied into columns m0 .. m0+15, in 4 x 4 tiles.
  void transpose_block(std::size_t m0) {
    const float* src = row(m0);
    const std::size_t full = n_ / 4 * 4;
    for (std::size_t i0 = 0; i0 < full; i0 += 4) {
      float* dst = row(i0) + m0;
      for (std::size_t k0 = 0; k0 < kMirrorBlock; k0 += 4) {
        const float* s = src + k0 * ld_ + i0;
        __m128 r0 = _mm_loadu_ps(s);
        __m128 r1 = _mm_loadu_ps(s + ld_);
        __m128 r2 = _mm_loadu_ps(s + 2 * ld_);
        __m128 r3 = _mm_loadu_ps(s + 3 * ld_);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(dst + k0, r0);
        _mm_storeu_ps(dst + ld_ + k0, r1);
        _mm_storeu_ps(dst + 2 * ld_ + k0, r2);
        _mm_storeu_ps(dst + 3 * ld_ + k0, r3);
      }
    }
    for (std::size_t i = full; i < n_; ++i) {
      for (std::size_t k = 0; k < kMirrorBlock; ++k) row(i)[m0 + k] = src[k * ld_ + i];
    }
  }
#endif

  std::size_t n_;
  std::size_t ld_;
  std::vector<float> m_;
  float* e_;
  std::vector<ColumnRotation> pending_;
  std::int64_t rotations_ = 0;
};

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

}  // namespace

namespace detail {

std::int64_t jacobi_counting(std::int32_t p, std::span<float> a, std::span<float> e,
                             textio::Console& console) {
  if (p < 1) return 0;
  const auto n = static_cast<std::size_t>(p);
  std::fill_n(e.begin(), n * n, 0.0f);
  for (std::size_t i = 0; i < n; ++i) e[i * n + i] = 1.0f;

  // Sum of squares of the off-diagonal elements, row by row of the upper triangle.
  float norm = 0.0f;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      const float v = a[packed(j, i)];
      norm = norm + v * v;
    }
  }
  std::int64_t rotations = 0;
  if (norm > 0.0f) {
    norm = 1.414f * std::sqrt(norm);
    const float pf = static_cast<float>(p);
    const float final_threshold = norm * 0.000001f / pf;
    float threshold = norm;
    print(kThresholdLine, final_threshold, console);
    Iteration it(n, a, e.data());
    for (;;) {
      threshold = threshold / pf;
      print(kCurrentLine, threshold, console);
      while (it.sweep(threshold)) {
      }
      if (!(threshold - final_threshold > 0.0f)) break;
    }
    it.flush_eigenvectors();
    it.store(a);
    rotations = it.rotations();
  }
  sort(n, a, e);
  return rotations;
}

}  // namespace detail

void jacobi(std::int32_t p, std::span<float> a, std::span<float> e, textio::Console& console) {
  detail::jacobi_counting(p, a, e, console);
}

}  // namespace orthaxis::analysis
