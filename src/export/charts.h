#pragma once
// More pictures for people with --svg: the correlation circle of a PCA from
// covariances or correlations, and for each of the first retained axes the
// contributions and the quality (cos2) of the variables and the objects as
// bar charts.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "results/score_matrix.h"

namespace orthaxis::svg {

inline constexpr const char* kCorrelationCircleFile = "correlation_circle.svg";
inline constexpr std::int32_t kChartedAxes = 3;  // contributions_K.svg, cos2_K.svg for K <= 3
inline constexpr std::size_t kBarsShown = 20;     // the largest values of each kind

std::string contributions_file(std::int32_t axis);  // 1-based: "contributions_1.svg"
std::string cos2_file(std::int32_t axis);           // "cos2_1.svg"

// The correlation of each variable with the two axes drawn (from -1 to 1),
// as arrows in the unit circle, labelled without overlap.
struct CorrelationCircle {
  std::span<const double> x, y;            // one per variable
  std::span<const std::string> labels;     // empty: numbers
  std::int32_t axis1 = 0, axis2 = 1;       // 0-based
  float percent1 = 0.0f, percent2 = 0.0f;
};
std::string correlation_circle(const CorrelationCircle& c);

// One kind of points on one axis: their values and labels.
struct BarSet {
  std::string title;                    // "Variables", "Objects"
  std::span<const double> values;       // one per point
  std::span<const std::string> labels;  // empty: numbers
};

// Two panels of horizontal bars, each the kBarsShown largest values sorted
// from the largest down (ties to the lower index). With `average_line`, a
// dashed line at 100 / count marks the contribution every point would have
// if all contributed alike.
std::string bar_charts(const std::string& title, const BarSet& first, const BarSet& second,
                       bool average_line, double top_value);

// The rows shown of a bar set: indices of the largest values, sorted.
std::vector<std::size_t> largest(std::span<const double> values, std::size_t count);

}  // namespace orthaxis::svg
