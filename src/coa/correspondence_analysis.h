#pragma once
// Correspondence analysis of a table of non-negative amounts: phase 1 builds
// the packed matrix of standardized residuals for the eigenanalysis, phase 2
// computes the object and variable scores under one of three scalings, lists
// them and writes their score files.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/worker_pool.h"
#include "input/scratch_file.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::coa {

struct Table {
  std::int32_t n = 0, p = 0;
  std::span<float> column_totals;  // amounts, then proportions after phase 1
  std::span<float> row_totals;     // amounts, then proportions after phase 1
  float grand_total = 0.0f;
};

// Where the first negative value of the table stands (1-based); 0 if none.
struct FirstNegative {
  std::int64_t object = 0;
  std::int64_t variable = 0;
};

// Negative values and zero totals leave the residuals undefined. Prints the
// abnormal-termination line of the first such case and returns false.
bool check_table(textio::Printer& print, const Table& t, FirstNegative negative);

// Phase 1: turns the totals of `t` into proportions and fills `matrix`
// (packed, p(p+1)/2 values) with the cross products of the standardized
// residuals. `row` holds p values of work space; `pool`, when given, adds
// the cross products on its threads (the same sums for every thread count).
void correspondence_matrix(Table& t, std::span<float> matrix, input::ScratchFile& scratch,
                           std::span<float> row, analysis::WorkerPool* pool = nullptr);

// Object i's row x of amounts as its standardized residuals z (p values
// each), from the totals of `t` as proportions: the rows of phase 1.
void standardized_residuals(const Table& t, std::size_t i, std::span<const float> x,
                            std::span<float> z);
// Phase 1 on the objects' side: turns the totals into proportions like
// correspondence_matrix and writes each object's row of standardized
// residuals z, as that function forms them, widened to double into
// zt[i*p .. i*p + p) (n * p values). False when a residual is not a finite
// number.
bool residual_rows(Table& t, input::ScratchFile& scratch, std::span<double> zt);

struct ScoreOptions {
  std::int32_t axes = 0;     // r
  std::int32_t scaling = 0;  // 0, 1, 2
  std::span<const std::string> object_labels, variable_labels;  // empty: numbered only
};

// What a pass over the objects reads: the table's data and totals (as
// proportions), and the threads that score the objects (the same scores for
// every number of threads).
struct ScorePass {
  input::ScratchFile& scratch;  // rewound on entry and on return
  const Table& table;
  analysis::WorkerPool* pool = nullptr;
};

// Phase 2, in the order of the scaling: with scaling 0 or 1 the variables'
// coordinates (the eigenvectors over the root of the column masses) come
// first and the objects follow from them; with scaling 2 the objects come
// first and the variables are put at the centroids of the objects.
results::ScoreMatrix variable_coordinates(const Table& t, const results::Eigensystem& eigen,
                                          const ScoreOptions& o);
// The objects from the variables' coordinates `v`: n points taking over
// `storage` (at least n * r values), divided by the singular values unless
// the scaling is 0.
results::ScoreMatrix object_coordinates(const ScorePass& pass, const results::Eigensystem& eigen,
                                        const ScoreOptions& o, const results::ScoreMatrix& v,
                                        analysis::WorkArray storage);
// Scaling 2: `v` becomes the centroids of the objects' coordinates.
void variables_at_centroids(const ScorePass& pass, const results::ScoreMatrix& objects,
                            results::ScoreMatrix& v);

// Where a set of scores is listed: the report and console, and its score
// file headed by the data file's name.
struct ScoreListing {
  textio::Printer& print;
  textio::RecordFile& file;
  const std::string& data_file_name;
};
void list_object_scores(const ScoreListing& out, const results::ScoreMatrix& objects);
void list_variable_scores(const ScoreListing& out, const results::ScoreMatrix& variables);

}  // namespace orthaxis::coa
