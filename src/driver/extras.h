#pragma once
// The outputs a person asks for beside the report: the tables (--csv) and
// the pictures (--svg). Each is one function of the run's finished values;
// a new table, picture or page goes here the same way.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/analysis_phase.h"
#include "driver/run_context.h"
#include "export/html.h"

namespace orthaxis::driver {

// What the run finished with.
struct Finished {
  const Resemblance& resemblance;
  const results::Eigensystem& eigen;
  const Scores& scores;
  const RunLabels& labels;
  const struct SupplementaryRun* supplementary = nullptr;  // a person's run: placed elements
  std::string_view title = {};  // of the data file
  std::int64_t missing = -1;    // missing values; -1: not counted
};

// A file that a person's run may write beside the report, with the options
// that ask for it.
struct ExtraFile {
  std::string name;
  const char* option;
};
// Those that `plan` may write, in the order the run writes them: the
// tables, the pictures (a chart for each axis that may be charted), the
// page. The supplementary tables, written only beside supplementary
// elements, are left out.
std::vector<ExtraFile> extra_files(const RunPlan& plan);
// Every file that some person's run may write beside the report.
std::vector<std::string> every_extra_file();

// What write_extras wrote, and with --html the page, which wants the report's
// text once the report is closed.
struct Extras {
  std::vector<std::string> written;
  std::optional<html::Parts> page;
};

// Writes what the plan asks for; nothing without options.
Extras write_extras(const RunContext& run, RunFiles& files, const Finished& f);

}  // namespace orthaxis::driver
