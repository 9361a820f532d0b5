#pragma once
// The replicate tables of the axes test and their eigenvalues. A replicate
// is analysed as the observed table is: the same accumulation of the
// resemblance (pairwise deletion of missing values), the same statistics and
// the same eigenanalysis, one replicate on one thread, so that each
// replicate's eigenvalues depend only on the data, the seed and its number.
//
// PCA: in replicate r (0-based) column c is shuffled by the keyed stream
// (seed, r, c), its missing values going with it. Correspondence analysis:
// replicate r is the random table with the observed margins drawn from the
// one stream (seed, r, 0).

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/analysis_type.h"
#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

// A replicate whose resemblance is not a finite number everywhere or whose
// eigenanalysis does not converge: the test has no result.
class ReplicateFailure : public std::runtime_error {
 public:
  ReplicateFailure(std::int32_t replicate, const std::string& what)
      : std::runtime_error(what), replicate(replicate) {}
  std::int32_t replicate;  // 1-based
};

struct ReplicateRun {
  std::int32_t replicates = 0;
  std::uint64_t seed = 0;
  WorkerPool* pool = nullptr;
  // Called after each replicate with the number done so far, one call at a
  // time (from whichever thread finished it).
  std::function<void(std::int32_t done)> done;
};

// PCA of type 1 to 3 on the n x p table `columns` (column after column,
// negative values missing). Returns replicates x p eigenvalues, replicate
// after replicate, each replicate's in non-increasing order.
std::vector<float> pca_replicates(AnalysisType type, std::int32_t n, std::int32_t p,
                                  std::span<const float> columns, const ReplicateRun& run);

// The eigenvalues (non-increasing) of the n x p table `columns` analysed as
// one replicate is, without shuffling; false when the analysis fails.
bool pca_eigenvalues(AnalysisType type, std::int32_t n, std::int32_t p,
                     std::span<const float> columns, std::span<float> values);

// The margins of a correspondence table as the analysis holds them.
struct Margins {
  std::span<const std::int64_t> rows, columns;  // whole-number totals
  std::span<const float> row_share, column_share;  // the totals as proportions
  float grand_total = 0.0f;
};

// Correspondence analysis: replicates x p eigenvalues of random tables with
// the margins of `m`.
std::vector<float> coa_replicates(const Margins& m, const ReplicateRun& run);

// The eigenvalues of the n x p table `rows` (row after row) analysed as one
// replicate is; false when the analysis fails.
bool coa_eigenvalues(const Margins& m, std::span<const float> rows, std::span<float> values);

}  // namespace orthaxis::analysis
