#pragma once
// Object scores and variable scores of the PCA types, their share blocks,
// listings and score files.

#include <cstdint>
#include <span>
#include <string>

#include "input/scratch_file.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::results {

struct LabelSet {
  bool used = false;
  std::span<const std::string> text;
};

struct PcaModel {
  std::int32_t type = 0;  // 1 cross products, 2 covariances, 3 correlations
  std::int32_t n = 0, p = 0, q = 0;
  std::int32_t positive_count = 0;
  std::span<const float> mean, sd, count;  // per variable
  std::span<float> eigenvalues;            // type 1 replaces 1..q by score deviations
  std::span<float> eigenvectors;           // p x p, column by column; columns 1..q become scores
};

// Scores of every object on components 1..q, with the share blocks, the
// listing and the object-score file. `scores` receives object i's q scores
// at (i-1)q (0-based); `component_sums` (q values) is left holding the mean
// score of each component for type 1. `row` and `share` hold p values each,
// `centred_ssq` n values.
void object_scores(textio::Printer& print, input::ScratchFile& scratch,
                   textio::RecordFile& score_file, const std::string& title, const PcaModel& m,
                   std::int32_t normalisation, std::span<const float> object_ssq,
                   const LabelSet& labels, std::span<float> scores, std::span<float> centred_ssq,
                   std::span<float> component_sums, std::span<float> row,
                   std::span<float> share);

// Shares of variance of the variables (types 2 and 3), variable scores of the
// chosen option, listing and variable-score file. Scores are left in the
// first q columns of the eigenvector matrix.
void variable_scores(textio::Printer& print, input::ScratchFile& scratch,
                     textio::RecordFile& score_file, const std::string& title, const PcaModel& m,
                     std::int32_t option, std::int32_t printout, std::span<const float> scores,
                     std::span<const float> component_means, const LabelSet& labels,
                     std::span<float> row, std::span<float> share);

}  // namespace orthaxis::results
