#pragma once
// What a person sees on a terminal instead of the full console: the data and
// the analysis in one line, the eigenvalues of the retained axes, the
// variables and objects that contribute most to each axis, the warnings and
// the files written. At most about 40 lines for a table of any size;
// --verbose, or standard output that is not a terminal, gives the console.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_type.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"

namespace orthaxis::driver {

struct SummaryInput {
  std::string data_file, title;
  analysis::AnalysisType type = analysis::AnalysisType::kCorrelations;
  std::int32_t n = 0, p = 0;
  std::int64_t missing = -1;  // -1: not counted
  const results::Eigensystem& eigen;
  // Contributions in percent, q axes each.
  const results::ScoreMatrix& object_ctr;
  const results::ScoreMatrix& variable_ctr;
  std::span<const std::string> object_labels, variable_labels;  // empty: numbers
  std::int64_t warnings = 0;
  std::vector<std::string> files;  // written, in order
};

inline constexpr std::int32_t kSummaryAxes = 5;      // axes with their contributions
inline constexpr std::int32_t kSummaryEigenRows = 10;
inline constexpr std::size_t kSummaryVariables = 5, kSummaryObjects = 10;

std::vector<std::string> summary_lines(const SummaryInput& s);

std::string analysis_name(analysis::AnalysisType t);

}  // namespace orthaxis::driver
