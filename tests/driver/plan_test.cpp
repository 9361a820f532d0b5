// The run plan against the setup's values: each decision taken once, the
// type rules applied, the options mapped.

#include <gtest/gtest.h>

#include "driver/plan.h"

namespace orthaxis::driver {
namespace {

RunValues values(std::int32_t type, std::int32_t matrix, std::int32_t object_labels,
                 std::int32_t variable_labels, std::int32_t orientation) {
  RunValues v;
  v.rows = 5;
  v.columns = 3;
  v.analysis_type = type;
  v.matrix_option = matrix;
  v.components = 2;
  v.object_labels = object_labels;
  v.variable_labels = variable_labels;
  v.variable_score_option = 2;
  v.object_score_norm = 1;
  v.orientation = orientation;
  return v;
}

TEST(RunPlan, TakesEachDecisionOnceFromTheSetupValues) {
  struct Row {
    std::int32_t type, matrix, object_labels, variable_labels, orientation;
    MatrixFile file;
    bool objects, variables, transpose;
    std::int32_t score_option, norm;
  };
  const Row rows[] = {
      {3, 0, 0, 0, 1, MatrixFile::kNone, false, false, false, 2, 1},
      {3, 1, 7, 1, 1, MatrixFile::kOpenedEmpty, true, true, false, 2, 1},
      {2, 2, -1, 0, 0, MatrixFile::kWritten, true, false, true, 2, 1},
      // Cross products: the score options are 0 whatever the file says.
      {1, 2, 0, 1, 2, MatrixFile::kWritten, false, true, true, 0, 0},
      // Correspondence analysis never has a matrix file.
      {4, 2, 1, 1, 1, MatrixFile::kNone, true, true, false, 2, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "type " << r.type << " matrix " << r.matrix);
    const RunPlan plan = plan_run(
        values(r.type, r.matrix, r.object_labels, r.variable_labels, r.orientation), {});
    EXPECT_EQ(plan.matrix, r.file);
    EXPECT_EQ(plan.object_labels, r.objects);
    EXPECT_EQ(plan.variable_labels, r.variables);
    EXPECT_EQ(plan.transpose, r.transpose);
    EXPECT_EQ(plan.variable_score_option, r.score_option);
    EXPECT_EQ(plan.object_score_norm, r.norm);
    EXPECT_EQ(plan.correspondence(), r.type == 4);
    EXPECT_FALSE(plan.person);
  }
}

TEST(RunPlan, OptionsMakeAPersonsRunWithItsExtraOutputs) {
  Options o;
  o.for_person = true;
  o.csv = true;
  const RunPlan pca = plan_run(values(3, 0, 0, 0, 1), o);
  EXPECT_TRUE(pca.person && pca.tables && !pca.pictures);
  EXPECT_TRUE(pca.whole_labels() && pca.quality() && pca.keeps_diagonal());
  const RunPlan coa = plan_run(values(4, 0, 0, 0, 1), o);
  EXPECT_FALSE(coa.keeps_diagonal());
}

}  // namespace
}  // namespace orthaxis::driver
