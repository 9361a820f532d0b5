#include "driver/plan.h"

namespace orthaxis::driver {

RunPlan plan_run(const RunValues& values, const Options& options) {
  RunValues v = values;
  apply_type_rules(v);
  RunPlan plan;
  plan.type = analysis::analysis_type_of(v.analysis_type);
  plan.transpose = v.orientation != 1;
  // Any non-zero object-labels flag means the labels are read.
  plan.object_labels = v.object_labels != 0;
  plan.variable_labels = v.variable_labels == 1;
  if (v.matrix_option != 0 && !plan.correspondence())
    plan.matrix = v.matrix_option == 2 ? MatrixFile::kWritten : MatrixFile::kOpenedEmpty;
  plan.detailed = v.printout != 0;
  plan.components = v.components;
  plan.coa_scaling = v.coa_scaling;
  plan.variable_score_option = v.variable_score_option;
  plan.object_score_norm = v.object_score_norm;
  plan.person = options.for_person;
  plan.quiet = options.quiet;
  plan.summary = shows_summary(options);
  plan.tables = options.csv;
  plan.pictures = options.svg;
  plan.axes_test = options.axes_test;
  plan.seed = options.seed;
  plan.engine = options.engine;
  plan.groups = options.groups;
  plan.page = options.html;
  plan.labels = options.labels;
  plan.plane1 = options.plane1 - 1;
  plan.plane2 = options.plane2 - 1;
  return plan;
}

}  // namespace orthaxis::driver
