#pragma once
// The outputs a person asks for beside the report: the tables (--csv) and
// the pictures (--svg). Each is one function of the run's finished values;
// a new table, picture or page goes here the same way.

#include <string>
#include <vector>

#include "driver/analysis_phase.h"
#include "driver/run_context.h"

namespace orthaxis::driver {

// What the run finished with.
struct Finished {
  const Resemblance& resemblance;
  const results::Eigensystem& eigen;
  const Scores& scores;
  const RunLabels& labels;
};

// The names of the files that write_extras writes for `retained` axes.
std::vector<std::string> extras_written(const RunPlan& plan, std::int32_t retained);

// Writes what the plan asks for; nothing without options.
void write_extras(const RunContext& run, RunFiles& files, const Finished& f);

}  // namespace orthaxis::driver
