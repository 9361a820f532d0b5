#pragma once
// Sums of cross products over a pass of rows of p values: for every pair
// i <= j, the sum over the rows of x(i) x(j), each sum taking one product per
// row, in row order. The rows arrive in blocks; the sums of a block are
// formed by ranges of rows of the packed matrix, so that threads can share a
// block without sharing a sum.

#include <cstddef>
#include <span>
#include <vector>

#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

// Rows of a block, of row_bytes each, taken through a set of sums at a
// time: about 32 KB, which stay in the first-level cache while every run of
// sums takes them (each sum still takes the rows in order).
std::size_t slice_rows(std::size_t row_bytes);

class CrossProductSums {
 public:
  // Each row of the packed matrix is summed padded to whole vectors of
  // kLanes, so that its tail is added with full vectors.
  static constexpr std::size_t kLanes = 8;

  // `parts` ranges of rows of the packed matrix, for that many threads' shares.
  CrossProductSums(std::size_t p, std::size_t parts);
  // Values of one row in a block: p rounded up to kLanes, the rest 0.
  std::size_t stride() const { return stride_; }
  // Bounds of the ranges: about equal numbers of pairs, each starting at a
  // multiple of four rows.
  const std::vector<std::size_t>& parts() const { return parts_; }
  // Adds `rows` rows of a block (row b at values + b * stride()) to the
  // packed rows [j0, j1).
  void add(const float* values, std::size_t rows, std::size_t j0, std::size_t j1);
  // The sums into the packed lower triangle (packed_index order).
  void pack(std::span<float> packed) const;

 private:
  void add_slice(const float* values, std::size_t rows, std::size_t j0, std::size_t j1);
  std::size_t p_;
  std::size_t stride_;
  std::vector<std::size_t> row_start_;  // row j of the packed matrix at sums_[row_start_[j]]
  std::vector<float> sums_;
  std::vector<std::size_t> parts_;
};

// A pass of rows through CrossProductSums, a block at a time: with a pool of
// several threads, a full block is added by the pool while the caller
// gathers the next into a second buffer.
class CrossProductPass {
 public:
  CrossProductPass(std::size_t p, WorkerPool* pool);
  CrossProductPass(const CrossProductPass&) = delete;
  CrossProductPass& operator=(const CrossProductPass&) = delete;
  // Waits for a block still being added (a pass cut short by a failure).
  ~CrossProductPass();
  // Where the next row's p values go.
  std::span<float> next_row();
  // The row written at next_row() is complete.
  void row_done();
  // Adds what is gathered and puts the sums into the packed lower triangle.
  void finish(std::span<float> packed);

 private:
  void flush();
  std::size_t p_;
  WorkerPool* pool_;
  CrossProductSums sums_;
  std::size_t block_rows_;
  std::vector<float> blocks_[2];
  std::size_t current_ = 0, filled_ = 0;
  WorkerPool::Handle in_flight_;
};

}  // namespace orthaxis::analysis
