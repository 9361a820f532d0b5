#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/packed.h"
#include "analysis/vector_clones.h"

namespace orthaxis::analysis {

namespace {

// Values readable after the last row of a block: the variable sums read
// sixteen lanes from their first variable on.
constexpr std::size_t kVariableOverrun = 16;

// Eight lanes of single precision; each operation on them is the same
// operation on each lane.
typedef float Lanes8 __attribute__((vector_size(32)));

// Rows gathered into a block of the data pass: about 64K values.
std::size_t block_rows_for(std::size_t p) {
  return std::clamp<std::size_t>((std::size_t{1} << 16) / std::max<std::size_t>(p, 1), 8, 512);
}

// One object's terms for the pairs (i, j), i < len, of a variable j that has
// missed a value: presences are 1 or 0, so each term is added as it is or as 0.
struct MissingPairs {
  float* sx;
  float* sy;
  float* qx;
  float* qy;
  float* count;
};

// The terms of the rows of a block for the pairs (i, j) .. (i + 7, j) of
// variable j, each sum held in a register across the rows, which it takes
// in order.
[[gnu::always_inline]] inline void add_missing_run8(std::size_t i, std::size_t rows,
                                                    const float* __restrict values,
                                                    const float* __restrict presence,
                                                    std::size_t stride, std::size_t j,
                                                    const MissingPairs& m) {
  Lanes8 sx, sy, qx, qy, count;
  std::memcpy(&sx, m.sx + i, sizeof sx);
  std::memcpy(&sy, m.sy + i, sizeof sy);
  std::memcpy(&qx, m.qx + i, sizeof qx);
  std::memcpy(&qy, m.qy + i, sizeof qy);
  std::memcpy(&count, m.count + i, sizeof count);
  const Lanes8 one = {1, 1, 1, 1, 1, 1, 1, 1};
  for (std::size_t b = 0; b < rows; ++b) {
    const float* xb = values + b * stride;
    const float* pb = presence + b * stride;
    const float xj = xb[j], pj = pb[j];
    const float xj2 = xj * xj;
    Lanes8 xi, pi;
    std::memcpy(&xi, xb + i, sizeof xi);
    std::memcpy(&pi, pb + i, sizeof pi);
    sx = sx + xi * pj;
    sy = sy + xj * pi;
    qx = qx + xi * xi * pj;
    qy = qy + xj2 * pi;
    count = count - (one - pi * pj);
  }
  std::memcpy(m.sx + i, &sx, sizeof sx);
  std::memcpy(m.sy + i, &sy, sizeof sy);
  std::memcpy(m.qx + i, &qx, sizeof qx);
  std::memcpy(m.qy + i, &qy, sizeof qy);
  std::memcpy(m.count + i, &count, sizeof count);
}

// The same for the one pair (i, j).
[[gnu::always_inline]] inline void add_missing_run1(std::size_t i, std::size_t rows,
                                                    const float* __restrict values,
                                                    const float* __restrict presence,
                                                    std::size_t stride, std::size_t j,
                                                    const MissingPairs& m) {
  float sx = m.sx[i], sy = m.sy[i], qx = m.qx[i], qy = m.qy[i], count = m.count[i];
  for (std::size_t b = 0; b < rows; ++b) {
    const float* xb = values + b * stride;
    const float* pb = presence + b * stride;
    const float xj = xb[j], pj = pb[j];
    const float xi = xb[i], pi = pb[i];
    sx += xi * pj;
    sy += xj * pi;
    qx += xi * xi * pj;
    qy += xj * xj * pi;
    count -= 1.0f - pi * pj;
  }
  m.sx[i] = sx;
  m.sy[i] = sy;
  m.qx[i] = qx;
  m.qy[i] = qy;
  m.count[i] = count;
}

// The pairs (i, j), i <= j, of a variable j that has missed a value: runs
// of eight, then the rest one by one.
ORTHAXIS_VECTOR_CLONES void add_missing_pairs(std::size_t rows, const float* values,
                                              const float* presence, std::size_t stride,
                                              std::size_t j, const MissingPairs& m) {
  std::size_t i = 0;
  for (; i + 8 <= j + 1; i += 8) add_missing_run8(i, rows, values, presence, stride, j, m);
  for (; i <= j; ++i) add_missing_run1(i, rows, values, presence, stride, j, m);
}

}  // namespace

PairAccumulator::PairAccumulator(std::int32_t p, std::int32_t n, PairSums sums, WorkerPool* pool,
                                 VariableSums* variables)
    : p_(static_cast<std::size_t>(p)),
      objects_(static_cast<float>(n)),
      s_(sums),
      variables_(variables),
      pool_(pool != nullptr && pool->size() > 1 ? pool : nullptr),
      // Several parts per thread, so that a thread that also reads the data
      // takes fewer of them.
      cross_(p_, pool_ != nullptr ? 4 * pool_->size() : 1),
      stride_(cross_.stride()) {
  const std::size_t len = packed_length(p_);
  for (std::size_t k = 0; k < len; ++k) s_.a[k] = 0.0f;
  block_rows_ = block_rows_for(p_);
  for (Block& b : blocks_) {
    b.values.assign(block_rows_ * stride_ + kVariableOverrun, 0.0f);
    b.presence.assign(block_rows_ * stride_ + kVariableOverrun, 1.0f);
    b.missing.assign(block_rows_, 0);
  }
  missed_.assign(p_, 0);
  run_sum_.assign(p_, 0.0f);
  run_squares_.assign(p_, 0.0f);
}

PairAccumulator::~PairAccumulator() {
  // A pass cut short by an input error: the pool must stop using the buffers.
  if (in_flight_) {
    try {
      pool_->wait(in_flight_);
    } catch (...) {
      // The pass is abandoned; its sums are never used.
    }
  }
}

namespace {
// One row into the block: missing values as 0 with a presence of 0.
ORTHAXIS_VECTOR_CLONES void gather_row(std::size_t p, const float* __restrict x,
                                       float* __restrict values, float* __restrict presence) {
  for (std::size_t v = 0; v < p; ++v) {
    const float xv = x[v];
    const bool here = present(xv);
    values[v] = here ? xv : 0.0f;
    presence[v] = here ? 1.0f : 0.0f;
  }
}

ORTHAXIS_VECTOR_CLONES bool any_missing(std::size_t p, const float* __restrict x) {
  std::uint32_t missing = 0;
  for (std::size_t v = 0; v < p; ++v) missing += present(x[v]) ? 0u : 1u;
  return missing != 0;
}
}  // namespace

void PairAccumulator::add(std::span<const float> x) {
  const bool missing = any_missing(p_, x.data());
  if (missing) {
    fresh_.clear();
    for (std::size_t v = 0; v < p_; ++v)
      if (!present(x[v]) && !missed_[v]) fresh_.push_back(v);
    if (!fresh_.empty()) {
      flush();
      settle();
      materialize(fresh_);
      for (std::size_t v : fresh_) {
        missed_[v] = 1;
        missed_list_.push_back(v);
      }
      std::sort(missed_list_.begin(), missed_list_.end());
    }
  }
  Block& block = blocks_[current_];
  if (filled_ == 0) block.first = objects_added_;
  float* const values = block.values.data() + filled_ * stride_;
  float* const presence = block.presence.data() + filled_ * stride_;
  if (missing) {
    gather_row(p_, x.data(), values, presence);
    block.missing[filled_] = 1;
  } else {
    // A whole row as it is, all present: the slot's presences are 1 unless
    // a row with a missing value held it last.
    std::memcpy(values, x.data(), p_ * sizeof(float));
    if (block.missing[filled_]) {
      std::fill_n(presence, p_, 1.0f);
      block.missing[filled_] = 0;
    }
  }
  ++objects_added_;
  if (++filled_ == block_rows_) flush();
}

void PairAccumulator::materialize(const std::vector<std::size_t>& fresh) {
  std::vector<char> is_fresh(p_, 0);
  for (std::size_t v : fresh) is_fresh[v] = 1;
  const float* running_sum = variables_ == nullptr ? run_sum_.data() : variables_->sum.data();
  for (std::size_t j = 0; j < p_; ++j) {
    if (missed_[j]) continue;
    const std::size_t row = packed_index(j + 1, 1);
    for (std::size_t i = 0; i <= j; ++i) {
      if (missed_[i] || !(is_fresh[i] || is_fresh[j])) continue;
      const std::size_t q = row + i;
      s_.count[q] = objects_;
      s_.sx[q] = running_sum[i];
      s_.sy[q] = running_sum[j];
      s_.qx[q] = run_squares_[i];
      s_.qy[q] = run_squares_[j];
    }
  }
}

void PairAccumulator::flush() {
  const std::size_t rows = filled_;
  if (rows == 0) return;
  filled_ = 0;
  const Block& block = blocks_[current_];
  if (pool_ == nullptr) {
    add_block(block, rows, 0, p_);
    add_variable_block(block, rows, 0, p_, 0, 1);
    return;
  }
  // The previous block must be complete before this one is added to the
  // same accumulators; its buffer is then free for the next rows. The
  // missing-value state does not change while a block is being added
  // (add() settles before it changes).
  settle();
  const std::vector<std::size_t>& parts = cross_.parts();
  in_flight_ = pool_->start(parts.size() - 1, [this, &block, rows, &parts](std::size_t k) {
    add_block(block, rows, parts[k], parts[k + 1]);
    add_variable_block(block, rows, parts[k], parts[k + 1], k, parts.size() - 1);
  });
  current_ ^= 1;
}

void PairAccumulator::settle() {
  if (in_flight_) pool_->wait(in_flight_);
}

namespace {
// The variables j .. j + n - 1 (n <= 8 * kGroups) over the rows of a block,
// object after object, each sum held in a register across the rows: every
// variable's running sum of squares and, with `sum`, its sum of present
// values and its count (less one per missing value); otherwise, with
// `running`, its running sum. A variable uses its running sums only while it
// has missed no value, when every value of the block is its own. Lanes past
// n compute on whatever lies beyond and are never stored.
template <std::size_t kGroups>
[[gnu::always_inline]] inline void add_variable_run(
    std::size_t n, std::size_t rows, std::size_t stride, const float* __restrict values,
    const float* __restrict presence, float* __restrict sum, float* __restrict count,
    float* __restrict squares, float* __restrict running) {
  constexpr std::size_t kRun = 8 * kGroups;
  float start[4][kRun] = {};
  for (std::size_t k = 0; k < n; ++k) {
    start[0][k] = squares[k];
    if (sum != nullptr) {
      start[1][k] = sum[k];
      start[2][k] = count[k];
    }
    if (running != nullptr) start[3][k] = running[k];
  }
  Lanes8 q[kGroups], s[kGroups], c[kGroups], r[kGroups];
  for (std::size_t g = 0; g < kGroups; ++g) {
    std::memcpy(&q[g], start[0] + 8 * g, sizeof q[g]);
    std::memcpy(&s[g], start[1] + 8 * g, sizeof s[g]);
    std::memcpy(&c[g], start[2] + 8 * g, sizeof c[g]);
    std::memcpy(&r[g], start[3] + 8 * g, sizeof r[g]);
  }
  const Lanes8 one = {1, 1, 1, 1, 1, 1, 1, 1};
  if (sum != nullptr) {
    for (std::size_t b = 0; b < rows; ++b) {
      const float* xb = values + b * stride;
      const float* pb = presence + b * stride;
      for (std::size_t g = 0; g < kGroups; ++g) {
        Lanes8 x, p;
        std::memcpy(&x, xb + 8 * g, sizeof x);
        std::memcpy(&p, pb + 8 * g, sizeof p);
        const auto here = p != 0.0f;
        q[g] = q[g] + x * x;
        s[g] = here ? s[g] + x : s[g];
        c[g] = here ? c[g] : c[g] - one;
      }
    }
  } else {
    for (std::size_t b = 0; b < rows; ++b) {
      const float* xb = values + b * stride;
      for (std::size_t g = 0; g < kGroups; ++g) {
        Lanes8 x;
        std::memcpy(&x, xb + 8 * g, sizeof x);
        q[g] = q[g] + x * x;
        r[g] = r[g] + x;
      }
    }
  }
  for (std::size_t g = 0; g < kGroups; ++g) {
    std::memcpy(start[0] + 8 * g, &q[g], sizeof q[g]);
    std::memcpy(start[1] + 8 * g, &s[g], sizeof s[g]);
    std::memcpy(start[2] + 8 * g, &c[g], sizeof c[g]);
    std::memcpy(start[3] + 8 * g, &r[g], sizeof r[g]);
  }
  for (std::size_t k = 0; k < n; ++k) {
    squares[k] = start[0][k];
    if (sum != nullptr) {
      sum[k] = start[1][k];
      count[k] = start[2][k];
    }
    if (running != nullptr) running[k] = start[3][k];
  }
}

// add_variable_run over the variables [j0, j1) of a block, sixteen at a time.
// The block holds kVariableOverrun readable values after its last row.
ORTHAXIS_VECTOR_CLONES void add_to_variable_range(std::size_t rows, std::size_t stride,
                                                  const float* __restrict values,
                                                  const float* __restrict presence,
                                                  std::size_t j0, std::size_t j1,
                                                  float* __restrict sum, float* __restrict count,
                                                  float* __restrict squares,
                                                  float* __restrict running) {
  for (std::size_t j = j0; j < j1; j += 16) {
    const std::size_t n = std::min<std::size_t>(16, j1 - j);
    float* const at_sum = sum != nullptr ? sum + j : nullptr;
    float* const at_count = sum != nullptr ? count + j : nullptr;
    float* const at_running = running != nullptr ? running + j : nullptr;
    if (n > 8) {
      add_variable_run<2>(n, rows, stride, values + j, presence + j, at_sum, at_count,
                           squares + j, at_running);
    } else {
      add_variable_run<1>(n, rows, stride, values + j, presence + j, at_sum, at_count,
                          squares + j, at_running);
    }
  }
}

// Eight objects' sums of squares, one object per lane, each added along its
// row from the first variable to the last: the rows are taken eight values
// at a time and turned into eight vectors of one variable each. A missing
// value lies in the block as +0, whose square leaves the (never negative
// zero) sum unchanged, as if it were skipped.
ORTHAXIS_VECTOR_CLONES void add_squares_8(std::size_t p, const float* const* row,
                                          float* __restrict ssq) {
  typedef int Index8 __attribute__((vector_size(32)));
  Lanes8 acc;
  std::memcpy(&acc, ssq, sizeof acc);
  for (std::size_t c = 0; c < p; c += 8) {
    Lanes8 r[8];
    for (std::size_t k = 0; k < 8; ++k) std::memcpy(&r[k], row[k] + c, sizeof r[k]);
    // 8 x 8 transpose: pairs, then fours, then halves.
    const Index8 low = {0, 8, 1, 9, 4, 12, 5, 13}, high = {2, 10, 3, 11, 6, 14, 7, 15};
    const Lanes8 t0 = __builtin_shuffle(r[0], r[1], low), t1 = __builtin_shuffle(r[0], r[1], high);
    const Lanes8 t2 = __builtin_shuffle(r[2], r[3], low), t3 = __builtin_shuffle(r[2], r[3], high);
    const Lanes8 t4 = __builtin_shuffle(r[4], r[5], low), t5 = __builtin_shuffle(r[4], r[5], high);
    const Lanes8 t6 = __builtin_shuffle(r[6], r[7], low), t7 = __builtin_shuffle(r[6], r[7], high);
    const Index8 even = {0, 1, 8, 9, 4, 5, 12, 13}, odd = {2, 3, 10, 11, 6, 7, 14, 15};
    const Lanes8 u0 = __builtin_shuffle(t0, t2, even), u1 = __builtin_shuffle(t0, t2, odd);
    const Lanes8 u2 = __builtin_shuffle(t1, t3, even), u3 = __builtin_shuffle(t1, t3, odd);
    const Lanes8 u4 = __builtin_shuffle(t4, t6, even), u5 = __builtin_shuffle(t4, t6, odd);
    const Lanes8 u6 = __builtin_shuffle(t5, t7, even), u7 = __builtin_shuffle(t5, t7, odd);
    const Index8 front = {0, 1, 2, 3, 8, 9, 10, 11}, back = {4, 5, 6, 7, 12, 13, 14, 15};
    const Lanes8 column[8] = {
        __builtin_shuffle(u0, u4, front), __builtin_shuffle(u1, u5, front),
        __builtin_shuffle(u2, u6, front), __builtin_shuffle(u3, u7, front),
        __builtin_shuffle(u0, u4, back),  __builtin_shuffle(u1, u5, back),
        __builtin_shuffle(u2, u6, back),  __builtin_shuffle(u3, u7, back)};
    const std::size_t width = std::min<std::size_t>(8, p - c);
    for (std::size_t i = 0; i < width; ++i) acc = acc + column[i] * column[i];
  }
  std::memcpy(ssq, &acc, sizeof acc);
}

}  // namespace

void PairAccumulator::add_variable_block(const Block& block, std::size_t rows, std::size_t j0,
                                         std::size_t j1, std::size_t part, std::size_t parts) {
  const float* values = block.values.data();
  const float* presence = block.presence.data();
  // With the variable sums, a variable's running sum is its sum (the same
  // additions while it has missed no value).
  if (variables_ == nullptr) {
    add_to_variable_range(rows, stride_, values, presence, j0, j1, nullptr, nullptr,
                          run_squares_.data(), run_sum_.data());
    return;
  }
  VariableSums& v = *variables_;
  add_to_variable_range(rows, stride_, values, presence, j0, j1, v.sum.data(), v.count.data(),
                        run_squares_.data(), nullptr);
  // Each object's sum of squares along its row, the objects shared among the
  // parts and taken eight at a time (the rows are padded to whole vectors).
  const std::size_t b0 = rows * part / parts, b1 = rows * (part + 1) / parts;
  for (std::size_t b = b0; b < b1; b += 8) {
    const std::size_t lanes = std::min<std::size_t>(8, b1 - b);
    float ssq[8];
    const float* row[8];
    for (std::size_t k = 0; k < 8; ++k) {
      ssq[k] = v.object_ssq[block.first + b + std::min(k, lanes - 1)];
      row[k] = values + (b + std::min(k, lanes - 1)) * stride_;
    }
    add_squares_8(p_, row, ssq);
    for (std::size_t k = 0; k < lanes; ++k) v.object_ssq[block.first + b + k] = ssq[k];
  }
}

void PairAccumulator::add_block(const Block& block, std::size_t rows, std::size_t j0,
                                std::size_t j1) {
  const float* values = block.values.data();
  const float* presence = block.presence.data();
  // Cross products of all pairs; a missing value adds 0, which leaves the
  // (never negative) sum unchanged.
  cross_.add(values, rows, j0, j1);
  if (missed_list_.empty()) return;
  // Pairs with a variable that has missed a value keep their own sums: with
  // a presence of 1 or 0, each term is added as it is or as 0. The block
  // goes through a slice of rows (values and presences) at a time, as for
  // the cross products.
  const std::size_t slice = slice_rows(2 * stride_ * sizeof(float));
  for (std::size_t b = 0; b < rows; b += slice) {
    const std::size_t count = std::min(slice, rows - b);
    const float* xb = values + b * stride_;
    const float* pb = presence + b * stride_;
    for (std::size_t j = j0; j < j1; ++j) {
      const std::size_t row = packed_index(j + 1, 1);
      const MissingPairs m{s_.sx.data() + row, s_.sy.data() + row, s_.qx.data() + row,
                           s_.qy.data() + row, s_.count.data() + row};
      if (missed_[j]) {
        add_missing_pairs(count, xb, pb, stride_, j, m);
        continue;
      }
      for (std::size_t i : missed_list_) {
        if (i > j) break;
        add_missing_run1(i, count, xb, pb, stride_, j, m);
      }
    }
  }
}

void PairAccumulator::finish() {
  flush();
  settle();
  cross_.pack(s_.a);
  fresh_.clear();
  for (std::size_t v = 0; v < p_; ++v)
    if (!missed_[v]) fresh_.push_back(v);
  materialize(fresh_);
}

VariableAccumulator::VariableAccumulator(std::int32_t p, VariableSums sums,
                                         std::span<float> squares)
    : p_(static_cast<std::size_t>(p)),
      sum_(sums.sum),
      count_(sums.count),
      squares_(squares),
      block_rows_(block_rows_for(p_)),
      values_(block_rows_ * p_ + kVariableOverrun, 0.0f),
      presence_(block_rows_ * p_ + kVariableOverrun, 1.0f) {
  for (float& q : squares_) q = 0.0f;
}

void VariableAccumulator::add(std::span<const float> row) {
  gather_row(p_, row.data(), values_.data() + filled_ * p_, presence_.data() + filled_ * p_);
  if (++filled_ == block_rows_) flush();
}

void VariableAccumulator::flush() {
  add_to_variable_range(filled_, p_, values_.data(), presence_.data(), 0, p_, sum_.data(),
                        count_.data(), squares_.data(), nullptr);
  filled_ = 0;
}

void VariableAccumulator::finish() { flush(); }

void accumulate_pairs_directly(std::int32_t p, PairSums s, std::span<const float> x) {
  const std::size_t np = static_cast<std::size_t>(p);
  for (std::size_t j = 1; j <= np; ++j) {
    const float xj = x[j - 1];
    const bool pj = present(xj);
    const std::size_t row = packed_index(j, 1);
    for (std::size_t i = 1; i <= j; ++i) {
      const float xi = x[i - 1];
      const std::size_t q = row + i - 1;
      if (pj && present(xi)) {
        s.a[q] += xi * xj;
        s.qx[q] += xi * xi;
        s.qy[q] += xj * xj;
        s.sx[q] += xi;
        s.sy[q] += xj;
      } else {
        s.count[q] -= 1.0f;
      }
    }
  }
}

void start_variable_sums(VariableSums& v, std::int32_t n) {
  const float objects = static_cast<float>(n);
  for (auto& s : v.sum) s = 0.0f;
  for (auto& m : v.count) m = objects;
  for (auto& q : v.object_ssq) q = 0.0f;
  for (auto& t : v.row_total) t = 0.0f;
  v.grand_total = 0.0f;
}

namespace {
// The per-variable sums of one object's row (each variable's own sum, so
// they go as vectors), then its sums along the row, value after value.
ORTHAXIS_VECTOR_CLONES void add_to_variables(std::size_t p, const float* __restrict x,
                                             float* __restrict sum, float* __restrict count,
                                             bool coa) {
  for (std::size_t c = 0; c < p; ++c) {
    const bool here = present(x[c]);
    sum[c] = here ? sum[c] + x[c] : sum[c];
    if (!coa) count[c] = here ? count[c] : count[c] - 1.0f;
  }
}
}  // namespace

void add_variable_sums(VariableSums& v, std::size_t object, std::span<const float> row,
                       bool coa) {
  add_to_variables(row.size(), row.data(), v.sum.data(), v.count.data(), coa);
  float ssq = v.object_ssq[object];
  float total = v.row_total[object];
  for (const float x : row) {
    if (coa) {
      total += x;
      v.grand_total += x;
    }
    if (present(x)) ssq += x * x;
  }
  v.object_ssq[object] = ssq;
  v.row_total[object] = total;
}

void finish_statistics(AnalysisType type, std::int32_t p, PairSums s, Statistics& st) {
  const std::size_t np = static_cast<std::size_t>(p);
  st.pooled_variance = 0.0f;
  st.zero_variance = false;
  for (std::size_t i = 1; i <= np; ++i) {
    const float sum = st.mean[i - 1];
    const float m = st.count[i - 1];
    const float sd = standard_deviation(s.a[packed_index(i, i)], sum, m);
    st.sd[i - 1] = sd;
    if (!has_spread(sd)) st.zero_variance = true;
    st.pooled_variance += sd * sd;
  }
  if (!st.zero_variance && type != AnalysisType::kCrossProducts) {
    const std::size_t len = packed_length(np);
    for (std::size_t q = 0; q < len; ++q) {
      s.a[q] = (s.a[q] - s.sx[q] * s.sy[q] / s.count[q]) / (s.count[q] - 1.0f);
    }
    if (type == AnalysisType::kCorrelations) {
      for (std::size_t j = 1; j <= np; ++j) {
        for (std::size_t i = 1; i <= j; ++i) {
          const std::size_t q = packed_index(j, i);
          if (i == j) {
            s.a[q] = 1.0f;
            continue;
          }
          const float n = s.count[q];
          const float si = std::sqrt((s.qx[q] - s.sx[q] * s.sx[q] / n) / (n - 1.0f));
          const float sj = std::sqrt((s.qy[q] - s.sy[q] * s.sy[q] / n) / (n - 1.0f));
          s.a[q] = s.a[q] / (sj * si);
        }
      }
    }
  }
  for (std::size_t i = 0; i < np; ++i) st.mean[i] = st.mean[i] / st.count[i];
}

}  // namespace orthaxis::analysis
