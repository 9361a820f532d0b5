#pragma once
// Variable statistics and the resemblance matrix between variables, with
// pairwise deletion of missing (negative) values: the data pass accumulates,
// for every pair of variables, sums over the objects where both are present;
// afterwards the matrix becomes uncentred cross products, covariances or
// correlations in packed storage.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "textio/printer.h"

namespace orthaxis::analysis {

// A value is present exactly when x >= 0 holds (negative or NaN: missing).
inline bool present(float x) { return x >= 0.0f; }

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
class PairAccumulator {
 public:
  PairAccumulator(std::int32_t p, std::int32_t n, PairSums sums);
  void add(std::span<const float> row);
  // Completes the pass; the accumulators then hold their final sums.
  void finish();

 private:
  std::int32_t p_;
  PairSums s_;
};

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

struct Statistics {
  std::span<float> mean;  // holds the variable sums on entry, the means on return
  std::span<float> sd;
  std::span<const float> count;
  float pooled_variance = 0.0f;
  bool zero_variance = false;
};

// Standard deviations, pooled variance, covariances / correlations and means.
void finish_statistics(std::int32_t type, std::int32_t p, PairSums sums, Statistics& st);

struct Labels {
  bool used = false;
  std::span<const std::string> text;  // 8-character labels
};

// The statistics block, the sums-of-squares block (type 1) and, when the run
// must stop, the abnormal-termination line. Returns false when the run stops:
// a variable without spread, or (types 2 and 3) a resemblance that is not a
// finite number.
bool report_statistics(textio::Printer& print, std::int32_t type, std::int32_t p,
                       std::span<const float> a, const Statistics& st, const Labels& labels);

// The whole matrix, row by row (detailed printout).
void print_resemblance(textio::Printer& print, std::int32_t p, std::span<const float> a,
                       std::span<float> row_buffer, const Labels& labels);

}  // namespace orthaxis::analysis
