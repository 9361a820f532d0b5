#pragma once
// Supplementary elements: points that take no part in the analysis and are
// placed on its axes afterwards, with the analysis' own transformation of
// the active data.
// - PCA: objects transformed as the active ones and projected with the
//   active scores' normalisation; numeric variables as their correlation
//   with each axis's object scores; the levels of qualitative variables at
//   the mean of their objects' scores, with a v-test.
// - Correspondence analysis: rows and columns by the transition formulas
//   from their profiles over the active columns or rows, in the scaling of
//   the active ones of their kind; a level is the row of its objects' sums.
// A missing value counts as the active mean of its variable. Computed in
// double precision, for the tables and pictures of a person's run.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_type.h"
#include "input/csv_table.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"

namespace orthaxis::results {

// Coordinates and qualities of points on q axes, point by point.
struct SupplementaryPoints {
  std::int32_t points = 0, axes = 0;
  std::vector<double> coord, cos2;
  double coordinate(std::size_t i, std::size_t k) const { return coord[i * static_cast<std::size_t>(axes) + k]; }
  double quality(std::size_t i, std::size_t k) const { return cos2[i * static_cast<std::size_t>(axes) + k]; }
};

struct LevelPoint {
  std::string variable, level;
  std::int64_t count = 0;
  std::vector<double> coord, cos2, vtest;  // q each; vtest empty when not defined
};

// Calls `take(i, row)` for each active object's row of p values, in order.
using RowVisitor =
    std::function<void(const std::function<void(std::size_t, std::span<const float>)>& take)>;

struct PcaSupplementaryModel {
  analysis::AnalysisType type = analysis::AnalysisType::kCorrelations;
  std::int32_t object_norm = 0;  // 0 to lambda, 1 to unity, as the active scores
  std::span<const float> mean, sd, count;
  const Eigensystem* eigen = nullptr;
  std::int32_t q = 0;
};

// m objects' rows of p values (a missing or negative value: absent).
SupplementaryPoints pca_objects(const PcaSupplementaryModel& model, std::span<const float> rows);
// s variables over the active objects (n rows of s values; NaN missing):
// correlation with each axis's scores, cos2 its square.
SupplementaryPoints pca_variables(const ScoreMatrix& scores, std::span<const float> values,
                                  std::size_t s);
std::vector<LevelPoint> pca_levels(const PcaSupplementaryModel& model, const ScoreMatrix& scores,
                                   std::span<const input::QualitativeColumn> qualitative,
                                   const RowVisitor& rows);

struct CoaSupplementaryModel {
  std::span<const float> row_mass, column_mass;  // proportions of the active totals
  float grand_total = 0.0f;
  const Eigensystem* eigen = nullptr;
  std::int32_t q = 0;
  std::int32_t scaling = 0;  // 0, 1, 2 as the active scores
};

// Rows of p amounts over the active columns.
SupplementaryPoints coa_rows(const CoaSupplementaryModel& model, std::span<const float> rows);
// s columns over the active rows (n rows of s values); `objects` are the
// active rows' scores.
SupplementaryPoints coa_columns(const CoaSupplementaryModel& model, const ScoreMatrix& objects,
                                std::span<const float> values, std::size_t s);
std::vector<LevelPoint> coa_levels(const CoaSupplementaryModel& model,
                                   std::span<const input::QualitativeColumn> qualitative,
                                   const RowVisitor& rows);

}  // namespace orthaxis::results
