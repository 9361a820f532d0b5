#pragma once
// Correspondence analysis of a table of non-negative amounts: phase 1 builds
// the packed matrix of standardized residuals for the eigenanalysis, phase 2
// computes, lists, saves and plots the object and variable scores under one
// of three scalings.

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

struct ScoreOptions {
  std::int32_t axes = 0;     // r
  std::int32_t scaling = 0;  // 0, 1, 2
  std::span<const std::string> object_labels, variable_labels;  // empty: numbered only
};

struct ScoreFiles {
  textio::RecordFile& objects;
  textio::RecordFile& variables;
  const std::string& data_file_name;  // heads both files
};

struct Scores {
  results::ScoreMatrix objects;    // n points, point rows
  results::ScoreMatrix variables;  // p points, axis columns
};

// Phase 2: the object and variable scores of the chosen scaling, listed,
// saved and plotted. The object scores take over `object_storage` (at least
// n * r values), the variable scores the eigenvector storage of `eigen` (its
// eigenvalues stay). `row` holds p values of work space. With a pool, the
// object scores are made on its threads, the same for every thread count.
Scores correspondence_scores(textio::Printer& print, input::ScratchFile& scratch, const Table& t,
                             results::Eigensystem& eigen, const ScoreOptions& o,
                             std::vector<float> object_storage, std::span<float> row,
                             const ScoreFiles& files, analysis::WorkerPool* pool = nullptr);

}  // namespace orthaxis::coa
