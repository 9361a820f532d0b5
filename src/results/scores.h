#pragma once
// Object scores and variable scores of the PCA types, their share blocks,
// listings and score files.

#include <cstdint>
#include <span>
#include <string>

#include "analysis/analysis_type.h"
#include "analysis/worker_pool.h"
#include "input/scratch_file.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::results {

// What both score steps read: the data (on the scratch file) and the
// statistics of its variables.
struct PcaModel {
  analysis::AnalysisType type = analysis::AnalysisType::kCorrelations;
  std::int32_t n = 0, p = 0;
  input::ScratchFile* scratch = nullptr;   // rewound on entry and on return
  std::span<const float> mean, sd, count;  // per variable
  std::span<const float> object_ssq;       // per object: sum of squares of present values
};

// Where a score step writes: the report and console, its score file, and the
// title that heads the file.
struct ScoreOutput {
  textio::Printer& print;
  textio::RecordFile& file;
  const std::string& title;
};

// Work space of p values each; contents undefined on entry and on return.
struct RowBuffers {
  std::span<float> row, share;
};

// Scores of every object on components 1..q, with the share blocks, the
// listing, the object-score file and the plot. `scores` (n points, q axes,
// point rows) receives the scores; `component_means` (q values) the mean
// score of each component for the cross products; `centred_ssq` (n values)
// is work space. With a pool, blocks of objects are scored on its threads
// while the next block is read and the previous one listed, in object order.
void object_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                   std::int32_t normalisation, ScoreMatrix& scores,
                   std::span<float> component_means, std::span<float> centred_ssq,
                   analysis::WorkerPool* pool = nullptr);

struct VariableScoreOptions {
  std::int32_t option = 0;    // 0 correlations, 1 covariances, 2 eigenvectors
  std::int32_t printout = 0;  // non-zero: the share block is printed
};

// Shares of variance of the variables (covariances and correlations),
// variable scores of the chosen option, listing, variable-score file and
// plot. The scores take over the eigenvector storage of `eigen` (its
// eigenvalues stay); the result has p points on the q axes of `objects`.
ScoreMatrix variable_scores(const ScoreOutput& out, const PcaModel& m, Eigensystem& eigen,
                            const VariableScoreOptions& o, const ScoreMatrix& objects,
                            std::span<const float> component_means,
                            std::span<const std::string> labels, const RowBuffers& buffers);

}  // namespace orthaxis::results
