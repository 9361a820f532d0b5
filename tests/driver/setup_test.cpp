// Setup values: which are rejected, which the analysis type ignores, and the
// table cell each one selects for the run-parameter block.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "driver/setup.h"

namespace orthaxis::driver {
namespace {

RunValues valid(std::int32_t type = 3) {
  RunValues v;
  v.rows = 4;
  v.columns = 2;
  v.analysis_type = type;
  v.components = 2;
  return v;
}

std::string pad(const std::string& s, std::size_t width) {
  return s + std::string(width - s.size(), ' ');
}

ParameterTexts texts_of(RunValues v) {
  apply_type_rules(v);
  return parameter_texts(v);
}

TEST(RunSpineSetupValidation, SmallestAndLargestAllowedValuesPass) {
  for (std::int32_t type = 1; type <= 4; ++type) {
    SCOPED_TRACE(type);
    RunValues v = valid(type);
    v.rows = 1;
    v.columns = 1;
    v.components = 0;
    EXPECT_NO_THROW(validate(v));
    v.rows = INT_MAX;
    v.columns = INT_MAX;
    v.components = INT_MAX;
    v.matrix_option = 2;
    v.variable_labels = 1;
    v.coa_scaling = 2;
    v.variable_score_option = 2;
    v.object_score_norm = 1;
    EXPECT_NO_THROW(validate(v));
  }
}

TEST(RunSpineSetupValidation, FlagsWithoutARangeTakeAnyInteger) {
  for (std::int32_t x : {INT_MIN, -1, 3, INT_MAX}) {
    SCOPED_TRACE(x);
    RunValues v = valid();
    v.object_labels = x;
    v.printout = x;
    v.orientation = x;
    EXPECT_NO_THROW(validate(v));
    // The block never reads outside its tables for them.
    const ParameterTexts t = texts_of(v);
    EXPECT_EQ(t.object_labels, pad("USED", 30));
    EXPECT_EQ(t.printout, pad("DETAILED", 30));
  }
}

TEST(RunSpineSetupValidation, EachRangeIsCheckedAndTheMessageNamesFieldAndValue) {
  struct Bad {
    void (*spoil)(RunValues&);
    std::int32_t type;
    const char* field;
    const char* value;
  } cases[] = {
      {[](RunValues& v) { v.rows = 0; }, 3, "rows", "= 0"},
      {[](RunValues& v) { v.columns = INT_MIN; }, 3, "columns", "= -2147483648"},
      {[](RunValues& v) { v.analysis_type = 5; }, 3, "analysis type", "= 5"},
      {[](RunValues& v) { v.matrix_option = 3; }, 3, "matrix option", "= 3"},
      {[](RunValues& v) { v.components = -1; }, 3, "components", "= -1"},
      {[](RunValues& v) { v.variable_labels = 2; }, 3, "variable-labels", "= 2"},
      {[](RunValues& v) { v.coa_scaling = 3; }, 4, "scaling", "= 3"},
      {[](RunValues& v) { v.variable_score_option = -1; }, 2, "variable-score", "= -1"},
      {[](RunValues& v) { v.object_score_norm = 2; }, 3, "object-score", "= 2"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.field);
    RunValues v = valid(bad.type);
    bad.spoil(v);
    try {
      validate(v);
      ADD_FAILURE() << "accepted";
    } catch (const SetupError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(bad.field), std::string::npos) << what;
      EXPECT_NE(what.find(bad.value), std::string::npos) << what;
    }
  }
}

TEST(RunSpineSetupValidation, ScoreOptionsAreCheckedForTypesTwoAndThreeOnly) {
  for (std::int32_t type = 1; type <= 4; ++type) {
    SCOPED_TRACE(type);
    RunValues v = valid(type);
    v.variable_score_option = 3;
    if (type == 2 || type == 3) {
      EXPECT_THROW(validate(v), SetupError);
    } else {
      EXPECT_NO_THROW(validate(v));
    }
    v = valid(type);
    v.object_score_norm = -1;
    if (type == 2 || type == 3) {
      EXPECT_THROW(validate(v), SetupError);
    } else {
      EXPECT_NO_THROW(validate(v));
    }
  }
}

TEST(RunSpineSetupValidation, CoaScalingIsCheckedForTypeFourOnly) {
  for (std::int32_t type = 1; type <= 4; ++type) {
    SCOPED_TRACE(type);
    for (std::int32_t scaling : {-1, 3}) {
      RunValues v = valid(type);
      v.coa_scaling = scaling;
      if (type == 4) {
        EXPECT_THROW(validate(v), SetupError);
      } else {
        EXPECT_NO_THROW(validate(v));
      }
    }
  }
}

TEST(RunSpineSetupTexts, AnalysisTypesAndTheirScoreFields) {
  const char* types[] = {"PCA FROM CROSS PRODUCTS", "PCA FROM COVARIANCES",
                         "PCA FROM CORRELATIONS", "CORRESPONDENCE ANALYSIS"};
  for (std::int32_t type = 1; type <= 4; ++type) {
    SCOPED_TRACE(type);
    const ParameterTexts t = texts_of(valid(type));
    EXPECT_EQ(t.analysis, pad(types[type - 1], 50));
    if (type == 4) {
      EXPECT_EQ(t.variable_scores, pad("NOT APPLICABLE", 50));
      EXPECT_EQ(t.object_scores, pad("NOT APPLICABLE", 50));
      EXPECT_EQ(t.coa, pad("OBJECTS AT CENTROID OF VARIABLES", 50));
    } else {
      EXPECT_EQ(t.variable_scores, pad("CORRELATIONS OF VAR. WITH COMPONENTS", 50));
      EXPECT_EQ(t.object_scores, pad("NORMALIZED TO LAMBDA", 50));
      EXPECT_EQ(t.coa, pad(" NOT APPLICABLE", 50));
    }
  }
}

TEST(RunSpineSetupTexts, ScoreOptionsOfTypesTwoAndThreeAndTheirForcingForTypeOne) {
  const char* variable[] = {"CORRELATIONS OF VAR. WITH COMPONENTS",
                            "COVARIANCES OF VAR. WITH COMPONENTS",
                            "EIGENVECTORS AS COORDINATES OF VAR."};
  const char* object[] = {"NORMALIZED TO LAMBDA", "NORMALIZED TO UNITY"};
  for (std::int32_t type = 1; type <= 3; ++type) {
    for (std::int32_t option = 0; option <= 2; ++option) {
      for (std::int32_t norm = 0; norm <= 1; ++norm) {
        SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(option) + "/" +
                     std::to_string(norm));
        RunValues v = valid(type);
        v.variable_score_option = option;
        v.object_score_norm = norm;
        const ParameterTexts t = texts_of(v);
        EXPECT_EQ(t.variable_scores, pad(variable[type == 1 ? 0 : option], 50));
        EXPECT_EQ(t.object_scores, pad(object[type == 1 ? 0 : norm], 50));
      }
    }
  }
  // The forcing is visible in the values the later steps receive.
  RunValues v = valid(1);
  v.variable_score_option = 2;
  v.object_score_norm = 1;
  apply_type_rules(v);
  EXPECT_EQ(v.variable_score_option, 0);
  EXPECT_EQ(v.object_score_norm, 0);
}

TEST(RunSpineSetupTexts, CoaScalingsMatrixLabelsAndPrintout) {
  const char* scalings[] = {"OBJECTS AT CENTROID OF VARIABLES", " SYMMETRIC WEIGHTING",
                            "VARIABLES AT CENTROID OF OBJECTS"};
  for (std::int32_t s = 0; s <= 2; ++s) {
    RunValues v = valid(4);
    v.coa_scaling = s;
    EXPECT_EQ(texts_of(v).coa, pad(scalings[s], 50)) << s;
  }
  const char* matrix[] = {"NOT SAVED", "SAVED", "SAVED"};
  for (std::int32_t m = 0; m <= 2; ++m) {
    RunValues v = valid();
    v.matrix_option = m;
    EXPECT_EQ(texts_of(v).matrix, pad(matrix[m], 30)) << m;
  }
  RunValues v = valid();
  ParameterTexts t = texts_of(v);
  EXPECT_EQ(t.object_labels, pad("NOT USED", 30));
  EXPECT_EQ(t.variable_labels, pad("NOT USED", 30));
  EXPECT_EQ(t.printout, pad("SHORT", 30));
  v.object_labels = 1;
  v.variable_labels = 1;
  v.printout = 1;
  t = texts_of(v);
  EXPECT_EQ(t.object_labels, pad("USED", 30));
  EXPECT_EQ(t.variable_labels, pad("USED", 30));
  EXPECT_EQ(t.printout, pad("DETAILED", 30));
}

}  // namespace
}  // namespace orthaxis::driver
