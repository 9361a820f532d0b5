#pragma once
// Tables for people, beside the report: the eigenvalues, and the objects and
// variables with their scores, quality of representation (cos2) and
// contributions to each axis. Comma-separated with a header row; a field is
// quoted when it holds a comma, a quote or a line end (quotes doubled);
// numbers carry 9 significant digits, enough to read back the same
// single-precision value.

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "textio/directory.h"

namespace orthaxis::csv {

inline constexpr const char* kEigenvalueTable = "eigenvalues.csv";
inline constexpr const char* kObjectTable = "objects.csv";
inline constexpr const char* kVariableTable = "variables.csv";

// One line of a table, without its line end.
using LineSink = std::function<void(std::string_view)>;

std::string field(std::string_view text);
std::string number(float value);

// axis, eigenvalue, percent, cumulative_percent: one row per positive
// eigenvalue; the percentages are computed as in the report.
void eigenvalue_table(const results::Eigensystem& eigen, const LineSink& line);

struct PointTable {
  const results::ScoreMatrix& scores;  // the values of the score file
  const results::ScoreMatrix& cos2;
  std::span<const float> masses;        // empty: every point weighs the same
  std::span<const std::string> labels;  // whole label lines; empty: no labels
  const results::ScoreMatrix* ctr = nullptr;  // the contributions, when already computed
};

// The contribution in percent of every point to each axis, point rows: the
// point's mass times its squared score over the sum of these over all points.
results::ScoreMatrix contributions(const results::ScoreMatrix& scores, std::span<const float> masses);

// index, label, <prefix>1..q, cos2_1..q, ctr_1..q. The contribution of a
// point to axis k is its mass times its squared score over the sum of these
// over all points, in percent.
void point_table(std::string_view prefix, const PointTable& t, const LineSink& line);

// Writes the three tables into `dir`.
void write_tables(const textio::Directory& dir, const results::Eigensystem& eigen,
                  const PointTable& objects, const PointTable& variables);

}  // namespace orthaxis::csv
