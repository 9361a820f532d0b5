#pragma once
// Warnings for a person at the command line, worded from what the reading
// steps and the analysis found. They go to the messages channel only; no
// file and no exit status depends on them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "input/data_matrix.h"
#include "input/labels.h"
#include "textio/messages.h"

namespace orthaxis::driver {

// Variables are named by number, and by label when labels are read.
struct VariableNames {
  std::span<const std::string> labels;  // empty: numbers only
  std::string name(std::size_t j) const;  // j 0-based
};

void warn_values_left(textio::Messages& m, const std::string& file,
                      const input::ReadFindings& f);
// Orientation 1: the second line's counts against the setup's rows and
// columns (the setup's are used). Otherwise: the data file's counts, which
// are used, against the setup's.
void warn_heading_counts(textio::Messages& m, const std::string& file, bool setup_counts_used,
                         const input::HeadingCounts& counts, std::int32_t setup_rows,
                         std::int32_t setup_columns);
void warn_cut_labels(textio::Messages& m, const std::string& file, const input::CutLabels& cut);
// One line listing the variables with missing values; nothing when none.
void warn_missing(textio::Messages& m, std::span<const std::int64_t> missing,
                  const VariableNames& names);
// The variables without spread that stop the analysis.
void warn_no_spread(textio::Messages& m, const std::vector<std::size_t>& variables,
                    const VariableNames& names);
void warn_axes_lowered(textio::Messages& m, std::int32_t asked, std::int32_t positive);

}  // namespace orthaxis::driver
