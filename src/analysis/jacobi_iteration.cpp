// The iteration's own work: the passes of a sweep, the rotations of a block
// and the columns l kept apart during their pass. The partners' share of
// the work is in jacobi_partners.cpp.

#include "analysis/jacobi_iteration.h"

#include <algorithm>
#include <cmath>

#include "analysis/jacobi_rotation.h"
#include "analysis/packed.h"

namespace orthaxis::analysis {

JacobiIteration::JacobiIteration(std::size_t n, std::span<const float> a, float* e,
                                 detail::Kernels widest, WorkerPool* pool)
    : n_(n),
      ld_((n + kBlock - 1) / kBlock * kBlock),
      m_(n * ld_),
      col_(n + kColumnPad),
      e_(e),
      kernels_(jacobi_kernels(widest)),
      pool_(pool != nullptr && pool->size() > 1 ? pool : nullptr),
      blocks_(n / kBlock + 1),
      groups_((n + kGroupRows - 1) / kGroupRows) {
  for (std::size_t r = 0; r < n_; ++r) std::copy_n(&a[packed_index(r + 1, 1)], r + 1, row(r));
  if (pool_ != nullptr) start_partners();
}

JacobiIteration::~JacobiIteration() {
  if (pool_ != nullptr) stop_partners();
}

void JacobiIteration::store(std::span<float> a) const {
  for (std::size_t r = 0; r < n_; ++r) {
    std::copy_n(m_.data() + r * ld_, r + 1, &a[packed_index(r + 1, 1)]);
  }
}

// The padded triangle, column l, the recorded eigenvector rotations, the
// blocks of one pass and the states of the groups of rows.
std::size_t JacobiIteration::workspace_bytes(std::size_t n) {
  const std::size_t ld = (n + kBlock - 1) / kBlock * kBlock;
  std::size_t bytes = saturating_product(saturating_product(n, ld), sizeof(float));
  bytes = saturating_sum(bytes, saturating_product(n + kColumnPad, sizeof(float)));
  // Recorded rotations, twice: the pool applies one list while the next is recorded.
  bytes = saturating_sum(bytes, 2 * kPendingLimit * sizeof(ColumnRotation));
  bytes = saturating_sum(bytes, saturating_product(n / kBlock + 1, sizeof(RotationBlock)));
  // The state of each group of rows, for the partners.
  return saturating_sum(bytes, saturating_product(n / kGroupRows + 1, sizeof(std::uint64_t)));
}

bool JacobiIteration::sweep(float threshold) {
  bool rotated = false;
  if (n_ > 1) load_column(0);
  for (std::size_t l = 0; l + 1 < n_; ++l) {
    if (pass(l, threshold)) rotated = true;
  }
  return rotated;
}

// Blocks of m end at multiples of kBlock; groups of kGroupRows rows are
// worked on while they stay in cache. When the first block of a group is
// reached, the group's rows take the rotations of the earlier blocks of the
// pass. Each block's rotations then go to the rows of the group below it
// and to the rows above its pivots (with partners, those may wait until the
// end of the pass). Every row still takes the blocks in order.
bool JacobiIteration::pass(std::size_t l, float threshold) {
  bool rotated = false;
  begin_pass(l);
  std::size_t group_end = 0;
  for (std::size_t m0 = l + 1; m0 < n_;) {
    const std::size_t mend = std::min((m0 / kBlock + 1) * kBlock, n_);
    if (m0 >= group_end) group_end = begin_group(m0);
    if (rotate_block(l, m0, mend, group_end, threshold)) rotated = true;
    m0 = mend;
  }
  finish_rows_above(l);
  if (l + 2 < n_) {
    next_column(l);
  } else {
    store_column(l);
  }
  return rotated;
}

// The group of rows that m0 starts: its rows take the blocks of the pass
// they lack. Returns the end of the group.
std::size_t JacobiIteration::begin_group(std::size_t m0) {
  const std::size_t group_end = std::min((m0 / kGroupRows + 1) * kGroupRows, n_);
  const std::size_t done = close_group(m0 / kGroupRows);
  for (std::size_t j = done; j < block_count_; ++j) rotate_rows_below(blocks_[j], m0, group_end);
  return group_end;
}

// The rotations (l, m), m0 <= m < mend, whose pivot reaches the threshold;
// true when there was any.
bool JacobiIteration::rotate_block(std::size_t l, std::size_t m0, std::size_t mend,
                                   std::size_t group_end, float threshold) {
  RotationBlock& block = blocks_[block_count_];
  block.count = 0;
  block.base = m0 / kBlock * kBlock;
  for (std::size_t m = m0; m < mend; ++m) {
    const float alm = col_[m];
    if (!(std::fabs(alm) - threshold >= 0.0f)) continue;
    rotate(l, m, mend, alm, block);
  }
  if (block.count == 0) return false;
  rotate_rows_below(block, mend, group_end);
  if (!help_above_) rotate_rows_above(l, block);
  publish_block();
  return true;
}

// Rotation (l, m): the pairs (i, l), (i, m) inside the block now, those
// above the pivot (i < m) in rotate_rows_above once the block's rotations
// are known, and those below the block in rotate_rows_below when the strip
// of each later block is reached.
void JacobiIteration::rotate(std::size_t l, std::size_t m, std::size_t mend, float alm,
                             RotationBlock& block) {
  float* rm = row(m);
  float* cl = col_.data();
  const float all = cl[l];
  const float amm = rm[m];
  const JacobiRotation r = JacobiRotation::for_pivot(all, amm, alm);
  // m < i < mend: the elements (i, m) of the following rows of the block.
  for (std::size_t i = m + 1; i < mend; ++i) r.apply(cl[i], m_[i * ld_ + m]);
  block.m[block.count] = m;
  block.q[block.count] = m - block.base;
  block.c[block.count] = r.c;
  block.s[block.count] = r.s;
  ++block.count;
  record(l, m, r.c, r.s);
  const JacobiRotation::Pivot pivot = r.pivot(all, amm, alm);
  cl[m] = pivot.lm;
  cl[l] = pivot.ll;
  rm[m] = pivot.mm;
  ++rotations_;
}

// The rotation of eigenvector columns l and m, applied later.
void JacobiIteration::record(std::size_t l, std::size_t m, float c, float s) {
  if (e_ == nullptr) return;
  pending_.push_back({static_cast<std::uint32_t>(l), static_cast<std::uint32_t>(m), c, s});
  if (pending_.size() == kPendingLimit) flush_eigenvectors();
}

// Rows i < m of the block's rotations, in the order of the rotations:
// (i, l) of column l against (m, i) of row m. No later rotation of the
// block reads these elements, so they wait until the block's rotations are
// known. The pair at i = l is computed too and thrown away: (l, l) is
// restored here, and (m, l) of row m is overwritten from the column at the
// end of the pass.
void JacobiIteration::rotate_rows_above(std::size_t l, const RotationBlock& b) {
  float* cl = col_.data();
  const float all = cl[l];
  kernels_.rotate_rows_above(m_.data(), ld_, cl, b);
  cl[l] = all;
}

void JacobiIteration::flush_eigenvectors() {
  if (e_ == nullptr) return;
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
  wakeup_.wake();
}

void JacobiIteration::load_column(std::size_t l) {
  const float* rl = row(l);
  for (std::size_t i = 0; i <= l; ++i) col_[i] = rl[i];
  for (std::size_t i = l + 1; i < n_; ++i) col_[i] = m_[i * ld_ + l];
}

void JacobiIteration::store_column(std::size_t l) {
  float* rl = row(l);
  for (std::size_t i = 0; i <= l; ++i) rl[i] = col_[i];
  for (std::size_t i = l + 1; i < n_; ++i) m_[i * ld_ + l] = col_[i];
}

// Rows ahead that next_column fetches into cache: its elements lie a row
// apart, a stride the processor does not foresee.
constexpr std::size_t kColumnAhead = 16;

// store_column(l), then load_column(l + 1) in the same walk down the rows:
// (i, l) and (i, l + 1) are neighbours in row i.
void JacobiIteration::next_column(std::size_t l) {
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

}  // namespace orthaxis::analysis
