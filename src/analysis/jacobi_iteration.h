#pragma once
// The blocked cyclic threshold Jacobi iteration, on a copy of the lower
// triangle with rows padded to a multiple of 16 floats. Every element
// receives exactly the single-precision operations of the rotation formulas
// (JacobiRotation), in the same order as on the packed triangle; only the
// place and the moment of each update change:
//  - During the pass of pivot l, column l is kept in a contiguous buffer, so
//    that for i < m the pairs (i, l), (i, m) of a rotation are two contiguous
//    runs (column l and row m).
//  - The pivots m of a pass are taken in blocks of 16 consecutive values. A
//    rotation's parameters depend only on the diagonal, on (m, l) and on the
//    rows of its own block, so the other updates of a block's rotations can
//    wait until all of them are known: for the rows i below the block, the
//    elements (i, m) of the whole block are adjacent in row i and take the
//    block's rotations one row after another; for the rows i < m above a
//    pivot, row m and column l take them band by band.
//  - Rows are visited in groups of 64 per pass, so that a group's updates
//    from below and from above happen while it is in cache.
//  - The eigenvectors are not read by the iteration and each of their rows
//    is rotated on its own, so the column rotations are recorded and applied
//    later in bands of rows that stay in cache, again in the same order.
//  - With helper threads (partners), the bands of eigenvector rows are
//    rotated beside the iteration, and the groups of rows below the one the
//    iteration is in take the blocks of the pass published so far, each
//    group on one thread at a time and every block in order. From
//    kPartnerRows rows on, the rows above the pivots also take the published
//    blocks on a partner, one thread at a time and every block in order; the
//    iteration gives them the blocks left at the end of the pass. Nothing of
//    the pass reads those elements before then: later blocks need column l
//    only from their own rows down.
// The kernels come from one table (jacobi_kernels.h), chosen when the
// iteration starts; every table gives the same bits.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "analysis/jacobi.h"
#include "analysis/jacobi_kernels.h"
#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

// Byte counts that saturate instead of wrapping.
inline std::size_t saturating_product(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? SIZE_MAX : r;
}
inline std::size_t saturating_sum(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  return __builtin_add_overflow(a, b, &r) ? SIZE_MAX : r;
}

// The share of a pass that one group of rows (or the rows above the
// pivots) has taken, in one word written by the iteration and its partners:
// the pass it belongs to (high 32 bits), how many blocks of that pass its
// rows have taken, and two flags: busy (a partner is rotating its rows) and
// closed (the iteration has reached it; from then on only the iteration
// touches it). The rows take the blocks in their order whoever rotates them,
// so the values do not depend on the number of threads or on their timing.
class PassShare {
 public:
  // A new pass: no block taken, open to the partners.
  void open(std::uint64_t pass) { word_.store(pass << 32, std::memory_order_relaxed); }
  // A partner claims the share to give it blocks of `pass`, of which `count`
  // are published; false when it belongs to another pass, is busy or closed,
  // or has taken every published block. Otherwise `taken` is the number
  // taken so far and the share is busy until release().
  bool claim(std::uint64_t pass, std::size_t count, std::size_t& taken);
  // The partner is done: `taken` blocks of `pass` are taken.
  void release(std::uint64_t pass, std::size_t taken) {
    word_.store((pass << 32) | taken, std::memory_order_release);
  }
  // The iteration closes the share, waiting for a partner that holds it,
  // and returns the number of blocks taken.
  std::size_t close();

 private:
  static constexpr std::uint64_t kBusy = std::uint64_t{1} << 30;
  static constexpr std::uint64_t kClosed = std::uint64_t{1} << 31;
  static constexpr std::uint64_t kTaken = kBusy - 1;
  std::atomic<std::uint64_t> word_{0};
};

// Partners that have found nothing to do for a while sleep until the
// iteration offers more work (or ends).
class PartnerWakeup {
 public:
  // Sleeps unless `look()`, called after this sleeper is counted, finds
  // work (or the end).
  template <typename Look>
  void sleep_unless(const Look& look) {
    const std::uint32_t seen = wake_.load(std::memory_order_acquire);
    sleepers_.fetch_add(1, std::memory_order_relaxed);
    // Paired with the fence in wake(): either the iteration sees this
    // sleeper, or the look sees its new work.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!look()) wake_.wait(seen);
    sleepers_.fetch_sub(1, std::memory_order_relaxed);
  }
  // New work for the partners (or the end): wakes those that sleep.
  void wake() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_relaxed) == 0) return;
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_all();
  }

 private:
  std::atomic<std::uint32_t> wake_{0};      // changes when sleepers should look again
  std::atomic<std::uint32_t> sleepers_{0};  // partners asleep or about to be
};

class JacobiIteration {
 public:
  // a: the packed triangle (0-based packed positions); e: the eigenvectors,
  // column by column, or null for none: no column rotation is then recorded
  // or applied. `pool`: threads that help while the iteration goes on.
  JacobiIteration(std::size_t n, std::span<const float> a, float* e, detail::Kernels widest,
            WorkerPool* pool);
  JacobiIteration(const JacobiIteration&) = delete;
  JacobiIteration& operator=(const JacobiIteration&) = delete;
  ~JacobiIteration();

  // One sweep over all pivot pairs at the threshold; true when any pair was rotated.
  bool sweep(float threshold);

  // Applies the rotations not yet applied to the eigenvectors. With a pool
  // they are offered to the partners in bands of rows, and the iteration
  // goes on recording the next ones; settle_eigenvectors() takes the bands
  // still left and waits for the others. Without eigenvectors, nothing.
  void flush_eigenvectors();
  void settle_eigenvectors();

  std::int64_t rotations() const { return rotations_; }

  // The triangle back into the packed positions of a.
  void store(std::span<float> a) const;

  // The most bytes an iteration on n rows holds.
  static std::size_t workspace_bytes(std::size_t n);

 private:
  static constexpr std::size_t kGroupRows = 64;
  // Recorded eigenvector rotations are offered when this many are waiting.
  static constexpr std::size_t kPendingLimit = std::size_t{1} << 16;

  float* row(std::size_t r) { return m_.data() + r * ld_; }

  // The pass of pivot l (jacobi_iteration.cpp).
  bool pass(std::size_t l, float threshold);
  std::size_t begin_group(std::size_t m0);
  bool rotate_block(std::size_t l, std::size_t m0, std::size_t mend, std::size_t group_end,
                    float threshold);
  void rotate(std::size_t l, std::size_t m, std::size_t mend, float alm, RotationBlock& block);
  void record(std::size_t l, std::size_t m, float c, float s);
  void rotate_rows_above(std::size_t l, const RotationBlock& b);
  void rotate_rows_below(const RotationBlock& b, std::size_t from, std::size_t to) {
    kernels_.rotate_rows_below(m_.data(), ld_, col_.data(), b, from, to);
  }
  void rotate_eigenvector_rows(const std::vector<ColumnRotation>& rot, std::size_t r0,
                               std::size_t r1) {
    kernels_.rotate_eigenvector_rows(e_, n_, r0, r1, rot.data(), rot.size());
  }
  void load_column(std::size_t l);
  void store_column(std::size_t l);
  void next_column(std::size_t l);

  // The partners (jacobi_partners.cpp).
  void start_partners();
  void stop_partners();
  void partner();
  bool take_work();
  std::size_t bands() const;
  bool take_band();
  bool help_below();
  bool help_above();
  void begin_pass(std::size_t l);
  void publish_block();
  std::size_t close_group(std::size_t g);
  void finish_rows_above(std::size_t l);

  std::size_t n_;
  std::size_t ld_;
  std::vector<float> m_;    // lower triangle, row r holds (r, 0..r)
  std::vector<float> col_;  // column l during the pass of pivot l
  float* e_;  // null: the eigenvalues alone
  const JacobiKernels& kernels_;
  std::vector<ColumnRotation> pending_;
  WorkerPool* pool_;
  std::vector<ColumnRotation> applying_;  // offered to the partners
  std::vector<RotationBlock> blocks_;     // blocks of the current pass of l that rotated
  std::size_t block_count_ = 0;
  std::size_t groups_;                    // groups of kGroupRows rows
  std::int64_t rotations_ = 0;
  // Shared with the partners (only with a pool).
  std::uint64_t pass_ = 0;                       // passes begun
  std::unique_ptr<PassShare[]> group_share_;     // each group of rows below
  std::atomic<std::uint64_t> published_{0};      // pass, blocks published
  PassShare above_share_;                        // the rows above the pivots
  std::size_t pivot_ = 0;                        // l of the pass (read by a busy partner)
  std::atomic<std::size_t> current_group_{0};    // where partners start looking
  std::atomic<std::uint64_t> bands_next_{0};     // list, next eigenvector band
  std::atomic<std::size_t> bands_done_{0};       // bands of the list rotated
  std::atomic<bool> stop_{false};
  PartnerWakeup wakeup_;
  bool help_below_ = false;                      // partners give blocks to the rows below
  bool help_above_ = false;                      // and to the rows above the pivots
  WorkerPool::Handle partners_;
};

}  // namespace orthaxis::analysis
