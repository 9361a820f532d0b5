#pragma once
// Variable statistics and the resemblance matrix between variables, with
// pairwise deletion of missing (negative) values: the data pass accumulates,
// for every pair of variables, sums over the objects where both are present;
// afterwards the matrix becomes uncentred cross products, covariances or
// correlations in packed storage.

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_type.h"
#include "analysis/cross_products.h"
#include "analysis/missing.h"
#include "analysis/worker_pool.h"
#include "textio/printer.h"

namespace orthaxis::analysis {

// A standard deviation s is a spread when s - kMinimumSpread >= 0 holds; a
// PCA run stops on a variable without one.
inline constexpr float kMinimumSpread = 0.000001f;
inline bool has_spread(float sd) { return sd - kMinimumSpread >= 0.0f; }

// One variable's standard deviation from the sum of squares, the sum and the
// count of its present values, each accumulated in single precision.
inline float standard_deviation(float squares, float sum, float count) {
  return std::sqrt((squares - sum * sum / count) / (count - 1.0f));
}

// Per-pair accumulators, each p(p+1)/2 long in packed order.
struct PairSums {
  std::span<float> a;       // cross products, then the resemblance matrix
  std::span<float> count;   // objects with both values present
  std::span<float> sx, sy;  // sums of variable i, j over those objects
  std::span<float> qx, qy;  // sums of squares of variable i, j over those objects
};

// The data pass of the analysis types 1 to 3: add() takes one object's row
// after another. Per pair, each accumulator receives one single-precision
// addition per object, in object order.
//
// Rows are gathered into blocks so that each accumulator is updated for many
// objects while it sits in cache. As long as neither variable of a pair has
// had a missing value, the pair's sums and squares equal the running sums of
// its two variables (the same additions in the same order), so they are kept
// per variable and only copied to the pair when one of its variables first
// misses a value, or at the end of the pass.
//
// With a pool of several threads, a full block is added by the pool while
// the caller goes on gathering the next block into a second buffer; the
// pairs are split among the threads by ranges of rows of the packed matrix,
// so that every accumulator is updated by one thread, block after block.
struct VariableSums;

class PairAccumulator {
 public:
  // `pool`: threads that add the blocks; none, the caller adds them.
  // `variables`, when given (started by start_variable_sums), also receives
  // what add_variable_sums would add for each row (not the CoA totals), in
  // the same order, on the threads that add the blocks.
  PairAccumulator(std::int32_t p, std::int32_t n, PairSums sums, WorkerPool* pool = nullptr,
                  VariableSums* variables = nullptr);
  PairAccumulator(const PairAccumulator&) = delete;
  PairAccumulator& operator=(const PairAccumulator&) = delete;
  ~PairAccumulator();
  void add(std::span<const float> row);
  // Completes the pass; the accumulators then hold their final sums.
  void finish();

 private:
  struct Block {
    std::vector<float> values;    // rows of the block, missing values as 0
    std::vector<float> presence;  // rows of the block, 1 present, 0 missing
    std::vector<char> missing;    // row slot k last held a row with a missing value
    std::size_t first = 0;        // the object of the block's first row
  };

  // Hands the gathered rows to the pool (or adds them) and switches buffers.
  void flush();
  // Waits until the block handed to the pool has been added.
  void settle();
  // Adds `rows` rows of a block to the pairs of the packed rows [j0, j1).
  void add_block(const Block& block, std::size_t rows, std::size_t j0, std::size_t j1);
  // Adds them to the sums of the variables [j0, j1) and, for part `part` of
  // `parts`, to their objects' sums of squares.
  void add_variable_block(const Block& block, std::size_t rows, std::size_t j0, std::size_t j1,
                          std::size_t part, std::size_t parts);
  // Copies the running sums into the pairs of variables that have had no
  // missing value until now and that involve a variable of `fresh`.
  void materialize(const std::vector<std::size_t>& fresh);

  std::size_t p_;
  float objects_;
  PairSums s_;
  VariableSums* variables_;
  WorkerPool* pool_;
  CrossProductSums cross_;  // the cross products, packed by finish()
  std::size_t stride_;      // values of one row in a block (cross_.stride())
  std::size_t block_rows_;
  std::size_t filled_ = 0;
  std::size_t objects_added_ = 0;
  Block blocks_[2];
  std::size_t current_ = 0;      // the block being gathered
  WorkerPool::Handle in_flight_;  // the other block, while the pool adds it
  std::vector<char> missed_;     // per variable: a value has been missing
  std::vector<std::size_t> missed_list_;
  std::vector<float> run_sum_, run_squares_;  // per variable, while nothing missed
  std::vector<std::size_t> fresh_;
};

// The same accumulation done one object and one pair at a time; kept as the
// plain statement of what PairAccumulator computes.
void accumulate_pairs_directly(std::int32_t p, PairSums sums, std::span<const float> row);

// Sums that every analysis type keeps during the data pass.
struct VariableSums {
  std::span<float> sum;            // per variable: sum of present values
  std::span<float> count;          // per variable: number of present values (starts at n)
  std::span<float> object_ssq;     // per object: sum of squares of present values
  std::span<float> row_total;      // per object, CoA only: sum of all values
  float grand_total = 0.0f;        // CoA only
};
void start_variable_sums(VariableSums& v, std::int32_t n);
// Object i (0-based) of the pass; `coa` adds the row total and grand total.
void add_variable_sums(VariableSums& v, std::size_t object, std::span<const float> row, bool coa);

// The variables' part of the PCA data pass without the pairs: the sums and
// counts that `sums` views (started by start_variable_sums; the object sums
// are not kept) and
// each variable's sum of squares of its present values, added object after
// object by the steps the PairAccumulator adds them with. A sum of squares
// equals the diagonal cross product of the pass, so standard_deviation() of
// the three gives the run's standard deviation.
class VariableAccumulator {
 public:
  VariableAccumulator(std::int32_t p, VariableSums sums, std::span<float> squares);
  void add(std::span<const float> row);
  // Completes the pass; the sums then hold their final values.
  void finish();

 private:
  void flush();

  std::size_t p_;
  std::span<float> sum_, count_, squares_;
  std::size_t block_rows_;
  std::size_t filled_ = 0;
  std::vector<float> values_, presence_;  // rows of the block, as in PairAccumulator
};

struct Statistics {
  std::span<float> mean;  // holds the variable sums on entry, the means on return
  std::span<float> sd;
  std::span<const float> count;
  float pooled_variance = 0.0f;
  bool zero_variance = false;
};

// Standard deviations, pooled variance, covariances / correlations and means.
void finish_statistics(AnalysisType type, std::int32_t p, PairSums sums, Statistics& st);

struct Labels {
  bool used = false;
  std::span<const std::string> text;  // 8-character labels
};

// The statistics block, the sums-of-squares block (type 1) and, when the run
// must stop, the abnormal-termination line. Returns false when the run stops:
// a variable without spread, or a resemblance that is not a finite number
// (check_resemblance).
bool report_statistics(textio::Printer& print, AnalysisType type, std::int32_t p,
                       std::span<const float> a, const Statistics& st, const Labels& labels);

// A resemblance that is not a finite number (a pair with fewer than two
// common objects or without spread over them, or sums beyond single
// precision) leaves the eigenanalysis meaningless. Prints the
// abnormal-termination line naming the first such element of the packed
// matrix a and returns false; true when every element is finite.
bool check_resemblance(textio::Printer& print, std::int32_t p, std::span<const float> a);

// The whole matrix, row by row (detailed printout).
void print_resemblance(textio::Printer& print, std::int32_t p, std::span<const float> a,
                       std::span<float> row_buffer, const Labels& labels);

}  // namespace orthaxis::analysis
