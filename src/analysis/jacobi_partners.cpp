// The partners: each helper thread of the pool taken by the iteration works
// beside it until it ends. It rotates bands of the eigenvectors when a list
// of rotations is offered, gives the published blocks of the pass to the
// rows above the pivots, and otherwise brings rows below the current group
// up to date with the blocks published so far, a whole group at a time, so
// that the iteration finds less to do when it reaches them.

#include <algorithm>

#include "analysis/jacobi_iteration.h"
#include "analysis/spin_wait.h"

namespace orthaxis::analysis {

namespace {

// Blocks a partner takes for a group in one go (the iteration may wait for them).
constexpr std::size_t kPartnerBlocks = 4;

// Below this order the rows below are left to the iteration: its passes are
// too short for a partner to win time there.
constexpr std::size_t kPartnerRows = 384;

// The most partners: the iteration offers one block at a time to the rows
// above, a band of eigenvector rows at a time and a group of rows below at
// a time, which keeps about one partner busy; more would only look for
// work, each polling the states the iteration writes.
constexpr std::size_t kMostPartners = 3;

// A partner that has found nothing to do this many times in a row sleeps
// until the iteration offers more.
constexpr unsigned kIdleRounds = 2048;

// Rows of the eigenvectors in one band offered to the partners. A band of a
// full list keeps a partner busy for about half a millisecond; in that time
// it gives no blocks to the rows above and below, and a flush may wait for it.
constexpr std::size_t kEigenBand = 64;

}  // namespace

bool PassShare::claim(std::uint64_t pass, std::size_t count, std::size_t& taken) {
  std::uint64_t state = word_.load(std::memory_order_acquire);
  if ((state >> 32) != pass || (state & (kBusy | kClosed)) != 0) return false;
  taken = state & kTaken;
  if (taken >= count) return false;
  return word_.compare_exchange_strong(state, state | kBusy, std::memory_order_acq_rel);
}

std::size_t PassShare::close() {
  SpinWait spin;
  std::uint64_t state = word_.load(std::memory_order_acquire);
  for (;;) {
    if ((state & kBusy) != 0) {
      spin.pause_or_yield();
      state = word_.load(std::memory_order_acquire);
      continue;
    }
    if (word_.compare_exchange_weak(state, state | kClosed, std::memory_order_acq_rel)) {
      return state & kTaken;
    }
  }
}

void JacobiIteration::start_partners() {
  help_below_ = n_ >= kPartnerRows;
  help_above_ = help_below_;
  group_share_ = std::make_unique<PassShare[]>(groups_);
  // No list of eigenvector rotations yet: every band taken and done.
  bands_next_.store(bands(), std::memory_order_relaxed);
  bands_done_.store(bands(), std::memory_order_relaxed);
  partners_ = pool_->start(std::min(pool_->size() - 1, kMostPartners),
                           [this](std::size_t) { partner(); });
}

void JacobiIteration::stop_partners() {
  settle_eigenvectors();
  stop_.store(true, std::memory_order_release);
  wakeup_.wake();
  try {
    pool_->wait(partners_);
  } catch (...) {
    // The partners do not throw; the iteration is being abandoned anyway.
  }
}

void JacobiIteration::partner() {
  SpinWait spin;
  unsigned idle = 0;
  while (!stop_.load(std::memory_order_acquire)) {
    if (take_work()) {
      idle = 0;
      continue;
    }
    if (++idle < kIdleRounds) {
      spin.pause_or_yield();
      continue;
    }
    idle = 0;
    wakeup_.sleep_unless([this] { return stop_.load(std::memory_order_acquire) || take_work(); });
  }
}

bool JacobiIteration::take_work() {
  return (help_above_ && help_above()) || take_band() || (help_below_ && help_below());
}

std::size_t JacobiIteration::bands() const { return (n_ + kEigenBand - 1) / kEigenBand; }

// Rotates the next band of the eigenvectors not yet taken; false when every
// band is taken.
bool JacobiIteration::take_band() {
  std::uint64_t next = bands_next_.load(std::memory_order_acquire);
  for (;;) {
    const std::size_t band = static_cast<std::uint32_t>(next);
    if (band >= bands()) return false;
    if (bands_next_.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel)) {
      rotate_eigenvector_rows(applying_, band * kEigenBand, std::min(n_, (band + 1) * kEigenBand));
      bands_done_.fetch_add(1, std::memory_order_release);
      return true;
    }
  }
}

void JacobiIteration::settle_eigenvectors() {
  if (pool_ == nullptr) return;
  while (take_band()) {
  }
  SpinWait spin;
  while (bands_done_.load(std::memory_order_acquire) < bands()) spin.pause_or_yield();
}

// Gives up to kPartnerBlocks published blocks to a group past the iteration
// that still lacks some; false when there is none. The last groups are
// taken first: the iteration reaches them last, so it seldom has to wait
// for a partner there.
bool JacobiIteration::help_below() {
  const std::uint64_t published = published_.load(std::memory_order_acquire);
  const std::uint64_t pass = published >> 32;
  const std::size_t count = static_cast<std::uint32_t>(published);
  const std::size_t current = current_group_.load(std::memory_order_relaxed);
  for (std::size_t g = groups_ - 1; g > current; --g) {
    std::size_t taken = 0;
    if (!group_share_[g].claim(pass, count, taken)) continue;
    const std::size_t upto = std::min(count, taken + kPartnerBlocks);
    const std::size_t from = g * kGroupRows;
    const std::size_t to = std::min(n_, from + kGroupRows);
    for (std::size_t j = taken; j < upto; ++j) rotate_rows_below(blocks_[j], from, to);
    group_share_[g].release(pass, upto);
    return true;
  }
  return false;
}

// Gives the next published block its rotations on the rows above the
// pivots, the blocks in order; false when there is none. One block at a
// time: at the end of the pass the iteration waits for the block a partner
// holds. The element at i = l is left out: its result would be thrown away
// (see rotate_rows_above), and (l, l) is the iteration's while the pass goes
// on. Everything else these rotations touch, column l above the block being
// built and the rows of earlier blocks, is read by nothing else until the
// pass ends (see finish_rows_above).
bool JacobiIteration::help_above() {
  const std::uint64_t published = published_.load(std::memory_order_acquire);
  const std::uint64_t pass = published >> 32;
  const std::size_t count = static_cast<std::uint32_t>(published);
  std::size_t taken = 0;
  if (!above_share_.claim(pass, count, taken)) return false;
  // The pass cannot end while the share is busy, so pivot_ is this pass's l.
  const std::size_t l = pivot_;
  float* mat = m_.data();
  float* cl = col_.data();
  kernels_.rotate_above_range(mat, ld_, cl, blocks_[taken], 0, l);
  kernels_.rotate_above_range(mat, ld_, cl, blocks_[taken], l + 1, n_);
  above_share_.release(pass, taken + 1);
  return true;
}

// The end of the pass of l: the rows above the pivots take the blocks the
// partners have not given them, before column l goes back to the rows.
void JacobiIteration::finish_rows_above(std::size_t l) {
  if (!help_above_) return;
  const std::size_t taken = above_share_.close();
  for (std::size_t j = taken; j < block_count_; ++j) rotate_rows_above(l, blocks_[j]);
}

// A new pass: no block yet, and every group of rows below l is open.
void JacobiIteration::begin_pass(std::size_t l) {
  block_count_ = 0;
  if (!help_below_) return;
  ++pass_;
  pivot_ = l;
  above_share_.open(pass_);
  const std::size_t first = (l + 1) / kGroupRows;
  for (std::size_t g = first; g < groups_; ++g) group_share_[g].open(pass_);
  current_group_.store(first, std::memory_order_relaxed);
  published_.store(pass_ << 32, std::memory_order_release);
}

// The block being built is complete: the rows below it may take it.
void JacobiIteration::publish_block() {
  ++block_count_;
  if (help_below_) {
    published_.store((pass_ << 32) | block_count_, std::memory_order_release);
    wakeup_.wake();
  }
}

// The iteration reaches group g: no partner touches it any more. Returns the
// number of blocks its rows have taken already.
std::size_t JacobiIteration::close_group(std::size_t g) {
  if (!help_below_) return 0;
  current_group_.store(g, std::memory_order_relaxed);
  return group_share_[g].close();
}

}  // namespace orthaxis::analysis
