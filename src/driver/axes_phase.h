#pragma once
// The axes test of a person's run (--axes-test N): the replicates'
// eigenvalues from the data on the scratch file, how many axes each rule
// keeps, and the summary line on standard error.

#include <optional>

#include "driver/extras.h"
#include "driver/run_context.h"
#include "export/svg.h"
#include "results/axes_test.h"

namespace orthaxis::driver {

inline constexpr const char* kAxesTable = "axes.csv";

// Runs the test the plan asks for and tells its summary line. Without a
// result (a correspondence table that is not of whole numbers, a replicate
// that cannot be analysed) it says why in one line and returns nothing.
std::optional<results::AxesAssessment> axes_test(const RunContext& run, RunFiles& files,
                                                 const Finished& f);

// axes.csv into the working directory.
void write_axes_table(const RunContext& run, const results::AxesAssessment& a);

// The scree plot's lines, in percent of the positive eigenvalues.
svg::ScreeOverlay scree_overlay(const results::AxesAssessment& a,
                                const results::Eigensystem& eigen);

}  // namespace orthaxis::driver
