#include "analysis/cross_products.h"

#include <algorithm>
#include <cmath>

#include "analysis/packed.h"
#include "analysis/vector_clones.h"
#include "textio/processor.h"

#if defined(ORTHAXIS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace orthaxis::analysis {

namespace {

// Cross products of a block of objects for the run of accumulators
// a[i .. i + kRun - 1] of row j: a[i] += x(b, i) * x(b, j) for the objects b in
// order, the run staying in registers while the whole block is added to it.
template <std::size_t kRun>
[[gnu::always_inline]] inline void add_cross_product_run(std::size_t i, std::size_t rows,
                                                         const float* __restrict values,
                                                         std::size_t stride, std::size_t j,
                                                         float* __restrict a) {
  float acc[kRun];
  for (std::size_t k = 0; k < kRun; ++k) acc[k] = a[i + k];
  for (std::size_t b = 0; b < rows; ++b) {
    const float* xb = values + b * stride;
    const float xj = xb[j];
    for (std::size_t k = 0; k < kRun; ++k) acc[k] += xb[i + k] * xj;
  }
  for (std::size_t k = 0; k < kRun; ++k) a[i + k] = acc[k];
}

// Cross products of a block of objects for row j of the packed matrix,
// padded to `padded` accumulators (a multiple of 8; the padding takes
// products of whatever lies beyond the row and is never used): runs of eight
// vectors, then the last one to seven vectors as one run.
ORTHAXIS_VECTOR_CLONES void add_cross_products(
    std::size_t padded, std::size_t rows, const float* __restrict values, std::size_t stride,
    std::size_t j, float* __restrict a) {
  std::size_t i = 0;
  for (; i + 64 <= padded; i += 64) add_cross_product_run<64>(i, rows, values, stride, j, a);
  switch (padded - i) {
    case 56: add_cross_product_run<56>(i, rows, values, stride, j, a); break;
    case 48: add_cross_product_run<48>(i, rows, values, stride, j, a); break;
    case 40: add_cross_product_run<40>(i, rows, values, stride, j, a); break;
    case 32: add_cross_product_run<32>(i, rows, values, stride, j, a); break;
    case 24: add_cross_product_run<24>(i, rows, values, stride, j, a); break;
    case 16: add_cross_product_run<16>(i, rows, values, stride, j, a); break;
    case 8: add_cross_product_run<8>(i, rows, values, stride, j, a); break;
    default: break;
  }
}

// The same for four rows j .. j + 3 of equal padded length at once: each
// value x(b, i) loaded serves the four rows, so that a block streams from the
// cache a quarter as often. Every accumulator still takes one product per
// object, in object order.
template <std::size_t kRun>
[[gnu::always_inline]] inline void add_cross_product_tile(std::size_t i, std::size_t rows,
                                                          const float* __restrict values,
                                                          std::size_t stride, std::size_t j,
                                                          float* __restrict a0,
                                                          float* __restrict a1,
                                                          float* __restrict a2,
                                                          float* __restrict a3) {
  float acc0[kRun], acc1[kRun], acc2[kRun], acc3[kRun];
  for (std::size_t k = 0; k < kRun; ++k) {
    acc0[k] = a0[i + k];
    acc1[k] = a1[i + k];
    acc2[k] = a2[i + k];
    acc3[k] = a3[i + k];
  }
  for (std::size_t b = 0; b < rows; ++b) {
    const float* xb = values + b * stride;
    const float x0 = xb[j], x1 = xb[j + 1], x2 = xb[j + 2], x3 = xb[j + 3];
    for (std::size_t k = 0; k < kRun; ++k) {
      const float xi = xb[i + k];
      acc0[k] += xi * x0;
      acc1[k] += xi * x1;
      acc2[k] += xi * x2;
      acc3[k] += xi * x3;
    }
  }
  for (std::size_t k = 0; k < kRun; ++k) {
    a0[i + k] = acc0[k];
    a1[i + k] = acc1[k];
    a2[i + k] = acc2[k];
    a3[i + k] = acc3[k];
  }
}

// Rows j .. j + 3, each padded to `padded` accumulators (a multiple of 8),
// the row after row j at `row_step` accumulators from it. Portable: on
// processors with AVX2 the form below runs instead (the compiler's own AVX2
// form of this loop read values beyond the last row of the block).
void add_cross_products_4(std::size_t padded, std::size_t rows, const float* __restrict values,
                          std::size_t stride, std::size_t j, float* __restrict a,
                          std::size_t row_step) {
  float* const a1 = a + row_step;
  float* const a2 = a1 + row_step;
  float* const a3 = a2 + row_step;
  std::size_t i = 0;
  for (; i + 16 <= padded; i += 16) add_cross_product_tile<16>(i, rows, values, stride, j, a, a1, a2, a3);
  if (i < padded) add_cross_product_tile<8>(i, rows, values, stride, j, a, a1, a2, a3);
}

#if defined(ORTHAXIS_AVX2_KERNELS)
__attribute__((target("avx2"))) inline __m256 add_product(__m256 acc, __m256 x, __m256 y) {
  return _mm256_add_ps(acc, _mm256_mul_ps(x, y));
}

// add_cross_products_4 on AVX2, sixteen and then eight accumulators of each
// row at a time: each x(b, j + r) is broadcast from its own element, so that
// only the values of the rows given are read.
__attribute__((target("avx2"))) void add_cross_products_4_avx2(
    std::size_t padded, std::size_t rows, const float* values, std::size_t stride,
    std::size_t j, float* a, std::size_t row_step) {
  float* const a0 = a;
  float* const a1 = a0 + row_step;
  float* const a2 = a1 + row_step;
  float* const a3 = a2 + row_step;
  std::size_t i = 0;
  for (; i + 16 <= padded; i += 16) {
    __m256 s00 = _mm256_loadu_ps(a0 + i), s01 = _mm256_loadu_ps(a0 + i + 8);
    __m256 s10 = _mm256_loadu_ps(a1 + i), s11 = _mm256_loadu_ps(a1 + i + 8);
    __m256 s20 = _mm256_loadu_ps(a2 + i), s21 = _mm256_loadu_ps(a2 + i + 8);
    __m256 s30 = _mm256_loadu_ps(a3 + i), s31 = _mm256_loadu_ps(a3 + i + 8);
    for (std::size_t b = 0; b < rows; ++b) {
      const float* xb = values + b * stride;
      const __m256 x0 = _mm256_broadcast_ss(xb + j), x1 = _mm256_broadcast_ss(xb + j + 1);
      const __m256 x2 = _mm256_broadcast_ss(xb + j + 2), x3 = _mm256_broadcast_ss(xb + j + 3);
      const __m256 lo = _mm256_loadu_ps(xb + i), hi = _mm256_loadu_ps(xb + i + 8);
      s00 = add_product(s00, lo, x0);
      s10 = add_product(s10, lo, x1);
      s20 = add_product(s20, lo, x2);
      s30 = add_product(s30, lo, x3);
      s01 = add_product(s01, hi, x0);
      s11 = add_product(s11, hi, x1);
      s21 = add_product(s21, hi, x2);
      s31 = add_product(s31, hi, x3);
    }
    _mm256_storeu_ps(a0 + i, s00);
    _mm256_storeu_ps(a0 + i + 8, s01);
    _mm256_storeu_ps(a1 + i, s10);
    _mm256_storeu_ps(a1 + i + 8, s11);
    _mm256_storeu_ps(a2 + i, s20);
    _mm256_storeu_ps(a2 + i + 8, s21);
    _mm256_storeu_ps(a3 + i, s30);
    _mm256_storeu_ps(a3 + i + 8, s31);
  }
  if (i < padded) {
    __m256 s0 = _mm256_loadu_ps(a0 + i), s1 = _mm256_loadu_ps(a1 + i);
    __m256 s2 = _mm256_loadu_ps(a2 + i), s3 = _mm256_loadu_ps(a3 + i);
    for (std::size_t b = 0; b < rows; ++b) {
      const float* xb = values + b * stride;
      const __m256 x = _mm256_loadu_ps(xb + i);
      s0 = add_product(s0, x, _mm256_broadcast_ss(xb + j));
      s1 = add_product(s1, x, _mm256_broadcast_ss(xb + j + 1));
      s2 = add_product(s2, x, _mm256_broadcast_ss(xb + j + 2));
      s3 = add_product(s3, x, _mm256_broadcast_ss(xb + j + 3));
    }
    _mm256_storeu_ps(a0 + i, s0);
    _mm256_storeu_ps(a1 + i, s1);
    _mm256_storeu_ps(a2 + i, s2);
    _mm256_storeu_ps(a3 + i, s3);
  }
}
#endif

// add_cross_products_4 in the form this processor runs.
void add_four_rows(std::size_t padded, std::size_t rows, const float* values, std::size_t stride,
                   std::size_t j, float* a, std::size_t row_step) {
#if defined(ORTHAXIS_AVX2_KERNELS)
  if (textio::have_avx2()) {
    add_cross_products_4_avx2(padded, rows, values, stride, j, a, row_step);
    return;
  }
#endif
  add_cross_products_4(padded, rows, values, stride, j, a, row_step);
}

}  // namespace

namespace {
// Bounds of `parts` ranges of the packed rows 0 .. p - 1 with about the same
// number of pairs each (row j holds j + 1 pairs).
std::vector<std::size_t> split_rows(std::size_t p, std::size_t parts) {
  std::vector<std::size_t> bounds{0};
  for (std::size_t k = 1; k < parts; ++k) {
    const double share = static_cast<double>(k) / static_cast<double>(parts);
    // A multiple of four, so that each range starts with whole groups of four rows.
    const auto j = static_cast<std::size_t>(static_cast<double>(p) * std::sqrt(share)) / 4 * 4;
    if (j > bounds.back() && j < p) bounds.push_back(j);
  }
  bounds.push_back(p);
  return bounds;
}
}  // namespace

CrossProductSums::CrossProductSums(std::size_t p, std::size_t parts)
    : p_(p), stride_((p + kLanes - 1) / kLanes * kLanes), parts_(split_rows(p, parts)) {
  row_start_.assign(p_ + 1, 0);
  for (std::size_t j = 0; j < p_; ++j)
    row_start_[j + 1] = row_start_[j] + (j + kLanes) / kLanes * kLanes;
  sums_.assign(row_start_[p_], 0.0f);
}

std::size_t slice_rows(std::size_t row_bytes) {
  constexpr std::size_t kSliceBytes = std::size_t{32} << 10;
  return std::max<std::size_t>(16, kSliceBytes / std::max<std::size_t>(row_bytes, 1));
}

void CrossProductSums::add(const float* values, std::size_t rows, std::size_t j0, std::size_t j1) {
  // The block goes through the range a slice of rows at a time.
  const std::size_t slice = slice_rows(stride_ * sizeof(float));
  for (std::size_t b = 0; b < rows; b += slice) {
    add_slice(values + b * stride_, std::min(slice, rows - b), j0, j1);
  }
}

void CrossProductSums::add_slice(const float* values, std::size_t rows, std::size_t j0,
                                 std::size_t j1) {
  // Four rows at a time from a multiple of four (the four then have the same
  // padded length), single rows elsewhere.
  for (std::size_t j = j0; j < j1;) {
    const std::size_t padded = row_start_[j + 1] - row_start_[j];
    if (j % 4 == 0 && j + 4 <= j1) {
      add_four_rows(padded, rows, values, stride_, j, sums_.data() + row_start_[j], padded);
      j += 4;
    } else {
      add_cross_products(padded, rows, values, stride_, j, sums_.data() + row_start_[j]);
      ++j;
    }
  }
}

void CrossProductSums::pack(std::span<float> packed) const {
  for (std::size_t j = 0; j < p_; ++j)
    std::copy_n(sums_.data() + row_start_[j], j + 1, packed.data() + packed_index(j + 1, 1));
}

CrossProductPass::CrossProductPass(std::size_t p, WorkerPool* pool)
    : p_(p),
      pool_(pool != nullptr && pool->size() > 1 ? pool : nullptr),
      sums_(p, pool_ != nullptr ? 4 * pool_->size() : 1),
      block_rows_(std::clamp<std::size_t>((std::size_t{1} << 16) / std::max<std::size_t>(p, 1), 8, 512)) {
  for (std::vector<float>& b : blocks_) b.assign(block_rows_ * sums_.stride(), 0.0f);
}

CrossProductPass::~CrossProductPass() {
  if (in_flight_) {
    try {
      pool_->wait(in_flight_);
    } catch (...) {
      // The pass is abandoned; its sums are never used.
    }
  }
}

std::span<float> CrossProductPass::next_row() {
  return std::span<float>(blocks_[current_].data() + filled_ * sums_.stride(), p_);
}

void CrossProductPass::row_done() {
  if (++filled_ == block_rows_) flush();
}

void CrossProductPass::flush() {
  const std::size_t rows = filled_;
  if (rows == 0) return;
  filled_ = 0;
  const float* values = blocks_[current_].data();
  if (pool_ == nullptr) {
    sums_.add(values, rows, 0, p_);
    return;
  }
  // The block before must be complete before this one is added to the same sums.
  if (in_flight_) pool_->wait(in_flight_);
  const std::vector<std::size_t>& parts = sums_.parts();
  in_flight_ = pool_->start(parts.size() - 1, [this, values, rows, &parts](std::size_t k) {
    sums_.add(values, rows, parts[k], parts[k + 1]);
  });
  current_ ^= 1;
}

void CrossProductPass::finish(std::span<float> packed) {
  flush();
  if (in_flight_) pool_->wait(in_flight_);
  sums_.pack(packed);
}

}  // namespace orthaxis::analysis
