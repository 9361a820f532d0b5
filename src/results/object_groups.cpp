#include "results/object_groups.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <span>
#include <vector>

#include "analysis/missing.h"
#include "analysis/vector_clones.h"

namespace orthaxis::results {

void interleave_group(const float* rows, std::size_t lanes, std::size_t p, float* x) {
  for (std::size_t k = 0; k < kGroup; ++k) {
    const float* row = rows + std::min(k, lanes - 1) * p;
    for (std::size_t j = 0; j < p; ++j) x[j * kGroup + k] = row[j];
  }
}

namespace {

// Centres (and scales) a group's values in place and sums each object's
// centred squares: an absent value (negative) becomes kGroupAbsent and adds
// nothing.
template <analysis::AnalysisType kType>
[[gnu::always_inline]] inline void centre_group(std::size_t p, const float* __restrict mean,
                                                const float* __restrict sd, float* __restrict x,
                                                float* __restrict ssq) {
  using analysis::AnalysisType;
  for (std::size_t j = 0; j < p; ++j) {
    float* xj = x + j * kGroup;
    for (std::size_t k = 0; k < kGroup; ++k) {
      const float v = xj[k];
      float sum = ssq[k];
      float centred = v;
      if constexpr (kType != AnalysisType::kCorrelations) {
        const float d = v - mean[j];
        sum = sum + d * d;
      }
      if constexpr (kType != AnalysisType::kCrossProducts) centred = v - mean[j];
      if constexpr (kType == AnalysisType::kCorrelations) {
        centred = centred / sd[j];
        sum = sum + centred * centred;
      }
      ssq[k] = analysis::present(v) ? sum : ssq[k];
      xj[k] = analysis::group_value(v, centred);
    }
  }
}

// A group's scores on one component: the terms x(j) * e(j), divided as the
// normalisation asks (by `first` and then by divisor[j], or by divisor[j]),
// added in variable order, values equal to kGroupAbsent left out.
template <Divide kDivide>
[[gnu::always_inline]] inline void sum_group(std::size_t p, const float* __restrict x,
                                             const float* __restrict e, float first,
                                             const float* __restrict divisor,
                                             float* __restrict score) {
  float s[kGroup] = {};
  for (std::size_t j = 0; j < p; ++j) {
    const float* xj = x + j * kGroup;
    for (std::size_t k = 0; k < kGroup; ++k) {
      float term = xj[k] * e[j];
      if constexpr (kDivide == Divide::kTwice) term = term / first / divisor[j];
      if constexpr (kDivide == Divide::kOnce) term = term / divisor[j];
      s[k] = analysis::group_present(xj[k]) ? s[k] + term : s[k];
    }
  }
  for (std::size_t k = 0; k < kGroup; ++k) score[k] = s[k];
}

}  // namespace

// The group steps for each analysis type and normalisation, compiled for
// the processor's vectors.
using analysis::AnalysisType;
ORTHAXIS_VECTOR_CLONES void centre_group(AnalysisType type, std::size_t p, const float* mean,
                                         const float* sd, float* x, float* ssq) {
  switch (type) {
    case AnalysisType::kCrossProducts:
      return centre_group<AnalysisType::kCrossProducts>(p, mean, sd, x, ssq);
    case AnalysisType::kCovariances:
      return centre_group<AnalysisType::kCovariances>(p, mean, sd, x, ssq);
    default:
      return centre_group<AnalysisType::kCorrelations>(p, mean, sd, x, ssq);
  }
}
ORTHAXIS_VECTOR_CLONES void sum_group(Divide divide, std::size_t p, const float* x,
                                      const float* e, float first, const float* divisor,
                                      float* score) {
  switch (divide) {
    case Divide::kNot: return sum_group<Divide::kNot>(p, x, e, first, divisor, score);
    case Divide::kTwice: return sum_group<Divide::kTwice>(p, x, e, first, divisor, score);
    case Divide::kOnce: return sum_group<Divide::kOnce>(p, x, e, first, divisor, score);
  }
}


std::size_t block_rows(std::size_t p) {
  // About 256 KB of rows, on one thread as on several: the work space of a
  // run is set up once per block.
  return std::clamp<std::size_t>((std::size_t{1} << 16) / std::max<std::size_t>(p, 1), 16, 4096);
}

namespace {

// One of the two blocks of a pass: its rows, the objects they hold, and
// the work that scores them.
struct Block {
  std::vector<float> rows;
  ObjectRun run{};
  analysis::WorkerPool::Handle scoring;
  std::exception_ptr failure;  // the read of object run.first + run.count failed
  std::size_t parts = 0;       // the parts it was last split into
  // With threads, each part's rows read whole and the failure of the next.
  std::vector<std::size_t> read_whole;
  std::vector<std::exception_ptr> read_failure;
};

// The objects [first, second) of part k of a block's `groups` groups in
// `parts` parts: whole groups to each part.
std::pair<std::size_t, std::size_t> part_bounds(const ObjectRun& run, std::size_t groups,
                                                std::size_t parts, std::size_t k) {
  return {std::min(run.count, groups * k / parts * kGroup),
          std::min(run.count, groups * (k + 1) / parts * kGroup)};
}

std::size_t groups_of(const ObjectRun& run) { return (run.count + kGroup - 1) / kGroup; }

// The blocks of a pass and how they are read and scored. Without threads
// the caller reads the rows; with them each part reads its own rows at
// their place in the file, and the block ends at the first row that could
// not be read.
class BlockPipeline {
 public:
  BlockPipeline(input::ScratchFile& scratch, std::size_t n, std::size_t p,
                analysis::WorkerPool* pool, const ObjectStep& score)
      : scratch_(scratch), n_(n), p_(p), pool_(pool), score_(score), block_(block_rows(p)),
        threads_(pool != nullptr && pool->size() > 1), parts_(threads_ ? 4 * pool->size() : 1) {
    for (std::size_t b = 0; b < 2; ++b) {
      blocks_[b].rows.resize(block_ * p);
      blocks_[b].run.rows = blocks_[b].rows.data();
      blocks_[b].run.slot = b * block_;
      blocks_[b].read_whole.resize(parts_);
      blocks_[b].read_failure.resize(parts_);
    }
  }

  std::size_t block() const { return block_; }
  bool threads() const { return threads_; }
  Block& operator[](std::size_t which) { return blocks_[which]; }

  // Reads (without threads) the block of objects from `first`, and starts
  // scoring it: on the pool with threads, here without.
  void start(std::size_t which, std::size_t first) {
    Block& b = blocks_[which];
    b.run.first = first;
    b.run.count = std::min(block_, n_ - first);
    if (!threads_) read_serially(b);
    const std::size_t groups = groups_of(b.run);
    const std::size_t parts = std::max<std::size_t>(1, std::min(parts_, groups));
    b.parts = parts;
    auto part = [this, which, groups, parts](std::size_t k) { score_part(which, groups, parts, k); };
    if (threads_) {
      b.scoring = pool_->start(parts, part);
    } else {
      part(0);
    }
  }

  // The rows of a block read by its parts: the block ends before the first
  // row that could not be read.
  void check_reads(std::size_t which) {
    Block& b = blocks_[which];
    const std::size_t groups = groups_of(b.run);
    for (std::size_t k = 0; k < b.parts; ++k) {
      if (!b.read_failure[k]) continue;
      b.run.count = part_bounds(b.run, groups, b.parts, k).first + b.read_whole[k];
      b.failure = b.read_failure[k];
      return;
    }
  }

 private:
  void read_serially(Block& b) {
    for (std::size_t k = 0; k < b.run.count; ++k) {
      try {
        scratch_.read_row(std::span<float>(b.rows.data() + k * p_, p_));
      } catch (...) {
        b.failure = std::current_exception();
        b.run.count = k;
        break;
      }
    }
  }

  void score_part(std::size_t which, std::size_t groups, std::size_t parts, std::size_t k) {
    Block& own = blocks_[which];
    auto [k0, k1] = part_bounds(own.run, groups, parts, k);
    if (threads_) {
      own.read_failure[k] = nullptr;
      own.read_whole[k] = scratch_.read_rows_at(own.run.first + k0, k1 - k0, p_,
                                                own.rows.data() + k0 * p_, own.read_failure[k]);
      k1 = k0 + own.read_whole[k];
    }
    if (k1 > k0) score_({own.rows.data() + k0 * p_, own.run.first + k0, k1 - k0, own.run.slot + k0});
  }

  input::ScratchFile& scratch_;
  const std::size_t n_, p_;
  analysis::WorkerPool* const pool_;
  const ObjectStep& score_;
  const std::size_t block_;
  const bool threads_;
  const std::size_t parts_;
  Block blocks_[2];
};

}  // namespace

void score_in_blocks(input::ScratchFile& scratch, std::size_t n, std::size_t p,
                     analysis::WorkerPool* pool, const ObjectStep& score, const ObjectStep& list) {
  BlockPipeline blocks(scratch, n, p, pool, score);
  // On the way out by a failure, the pool must be done with the blocks.
  std::optional<analysis::WorkerPool::Settle> settle;
  if (blocks.threads())
    settle.emplace(*pool, std::initializer_list<analysis::WorkerPool::Handle*>{
                              &blocks[0].scoring, &blocks[1].scoring});
  const std::size_t block = blocks.block();
  std::size_t current = 0;
  if (n > 0) blocks.start(0, 0);
  for (std::size_t first = 0; first < n; first += block) {
    Block& b = blocks[current];
    if (b.scoring) pool->wait(b.scoring);
    if (blocks.threads()) blocks.check_reads(current);
    if (first + block < n && !b.failure) blocks.start(current ^ 1, first + block);
    list(b.run);
    if (b.failure) std::rethrow_exception(b.failure);
    current ^= 1;
  }
}

}  // namespace orthaxis::results
