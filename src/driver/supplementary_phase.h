#pragma once
// A person's run places the supplementary elements that an import kept
// beside the data (input/supplementary_files.h) on the finished axes: for
// the tables and pictures when asked for, otherwise one line on standard
// error names the files. The run without arguments never looks for them.

#include <string>

#include "driver/analysis_phase.h"
#include "driver/run_context.h"
#include "input/supplementary_files.h"
#include "results/supplementary.h"

namespace orthaxis::driver {

struct SupplementaryRun {
  input::SupplementaryData data;
  results::SupplementaryPoints objects, variables;
  std::vector<results::LevelPoint> levels;
  bool placed = false;  // computed for the tables and pictures
};

SupplementaryRun place_supplementary(const RunContext& run, RunFiles& files,
                                     const DataShape& shape, const Resemblance& r,
                                     const Eigenanalysis& e, const Scores& scores);

// The one line that says what the directory's files hold.
std::string supplementary_summary(const input::SupplementaryData& d);

}  // namespace orthaxis::driver
