#pragma once
// Object scores and variable scores of the PCA types, their share blocks,
// listings and score files. The pictures of the scores are drawn by the run
// from the finished score matrices.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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
// title that heads the file; with a pool, the threads that make the scores
// and listing lines (the same bytes for every number of threads).
struct ScoreOutput {
  textio::Printer& print;
  textio::RecordFile& file;
  const std::string& title;
  analysis::WorkerPool* pool = nullptr;
};

// What is asked of a set of scores.
struct ScoreRequest {
  std::int32_t axes = 0;                 // q
  std::int32_t option = 0;               // objects: 0 to lambda, 1 to unity;
                                         // variables: 0 correlations, 1 covariances, 2 eigenvectors
  bool detailed = false;                 // variables: the share block is printed
  std::span<const std::string> labels;   // 8-character labels; empty: numbered only
};

struct ObjectScores {
  ScoreMatrix scores;                  // n points, q axes, point rows
  std::vector<float> component_means;  // q: mean score of each component (cross products)
};

// Scores of every object on components 1..q, with the share blocks, the
// listing and the object-score file. The scores take over `storage` (at
// least n * q values). Blocks of objects are scored on the pool's threads
// while the next block is read and the previous one listed, in object order.
ObjectScores object_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                           const ScoreRequest& r, analysis::WorkArray storage);

// Shares of variance of the variables (covariances and correlations; printed
// with the detailed printout), variable scores of the chosen option, listing
// and variable-score file: p points on the q axes of `objects`.
ScoreMatrix variable_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                            const ScoreRequest& r, const ObjectScores& objects);

// The first q eigenvectors as the start of a set of variable scores: p points,
// q axes, one column per axis.
ScoreMatrix leading_vectors(const Eigensystem& eigen, std::int32_t q,
                            std::span<const std::string> labels);

}  // namespace orthaxis::results
