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

void score_in_blocks(input::ScratchFile& scratch, std::size_t n, std::size_t p,
                     analysis::WorkerPool* pool, const ObjectStep& score, const ObjectStep& list) {
  const std::size_t block = block_rows(p);
  struct Block {
    std::vector<float> rows;
    ObjectRun run{};
    analysis::WorkerPool::Handle scoring;
    std::exception_ptr failure;  // the read of object run.first + run.count failed
  };
  Block blocks[2];
  for (std::size_t b = 0; b < 2; ++b) {
    blocks[b].rows.resize(block * p);
    blocks[b].run.rows = blocks[b].rows.data();
    blocks[b].run.slot = b * block;
  }
  const bool threads = pool != nullptr && pool->size() > 1;
  const std::size_t parts = threads ? 4 * pool->size() : 1;
  // Without threads the caller reads the rows; with them each part reads its
  // own rows at their place in the file, and the block ends at the first
  // row that could not be read.
  std::vector<std::size_t> read_whole[2];
  std::vector<std::exception_ptr> read_failure[2];
  for (std::size_t b = 0; b < 2; ++b) read_whole[b].resize(parts), read_failure[b].resize(parts);
  auto part_bounds = [](const Block& b, std::size_t groups, std::size_t parts_here, std::size_t k) {
    return std::pair<std::size_t, std::size_t>{
        std::min(b.run.count, groups * k / parts_here * kGroup),
        std::min(b.run.count, groups * (k + 1) / parts_here * kGroup)};
  };
  std::size_t parts_in[2] = {0, 0};
  auto read_block = [&](std::size_t which, std::size_t first) {
    Block& b = blocks[which];
    b.run.first = first;
    b.run.count = std::min(block, n - first);
    if (!threads) {
      for (std::size_t k = 0; k < b.run.count; ++k) {
        try {
          scratch.read_row(std::span<float>(b.rows.data() + k * p, p));
        } catch (...) {
          b.failure = std::current_exception();
          b.run.count = k;
          break;
        }
      }
    }
    // Whole groups to each part.
    const std::size_t groups = (b.run.count + kGroup - 1) / kGroup;
    const std::size_t parts_here = std::max<std::size_t>(1, std::min(parts, groups));
    parts_in[which] = parts_here;
    auto part = [&, which, groups, parts_here, p](std::size_t k) {
      Block& own = blocks[which];
      auto [k0, k1] = part_bounds(own, groups, parts_here, k);
      if (threads) {
        read_failure[which][k] = nullptr;
        read_whole[which][k] = scratch.read_rows_at(own.run.first + k0, k1 - k0, p,
                                                    own.rows.data() + k0 * p, read_failure[which][k]);
        k1 = k0 + read_whole[which][k];
      }
      if (k1 > k0) score({own.rows.data() + k0 * p, own.run.first + k0, k1 - k0, own.run.slot + k0});
    };
    if (threads) {
      b.scoring = pool->start(parts_here, part);
    } else {
      part(0);
    }
  };
  // The rows of a block read by its parts: the block ends before the first
  // row that could not be read.
  auto check_reads = [&](std::size_t which) {
    Block& b = blocks[which];
    const std::size_t groups = (b.run.count + kGroup - 1) / kGroup;
    for (std::size_t k = 0; k < parts_in[which]; ++k) {
      if (!read_failure[which][k]) continue;
      b.run.count = part_bounds(b, groups, parts_in[which], k).first + read_whole[which][k];
      b.failure = read_failure[which][k];
      return;
    }
  };
  // On the way out by a failure, the pool must be done with the blocks.
  std::optional<analysis::WorkerPool::Settle> settle;
  if (threads) settle.emplace(*pool, std::initializer_list<analysis::WorkerPool::Handle*>{
                                         &blocks[0].scoring, &blocks[1].scoring});
  std::size_t current = 0;
  if (n > 0) read_block(0, 0);
  for (std::size_t first = 0; first < n; first += block) {
    Block& b = blocks[current];
    if (b.scoring) pool->wait(b.scoring);
    if (threads) check_reads(current);
    if (first + block < n && !b.failure) read_block(current ^ 1, first + block);
    list(b.run);
    if (b.failure) std::rethrow_exception(b.failure);
    current ^= 1;
  }
}

}  // namespace orthaxis::results
