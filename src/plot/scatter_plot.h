#pragma once
// Character scatter plot of two score axes on the console: an axis report
// (extremes, scaling unit and tick step of each axis), the list of points
// that could not be drawn, and a picture of 30 to 80 lines of 50 to 100
// cells with the zero lines of both axes, their tick marks and the points.

#include <cstdint>
#include <span>

#include "textio/console.h"

namespace orthaxis::plot {

// Arrays are 0-based spans: with layout 1 the value of point i (1-based) on axis d (1-based) is
// axis_major_scores[(d - 1) + (i - 1) * axis_count]; with any other layout it is
// point_major_scores[(i - 1) + (d - 1) * point_count]. Only the selected array is read.
// All output goes to the console only.
void scatter_plot(std::int32_t horizontal_axis, std::int32_t vertical_axis,
                  std::int32_t point_count, std::int32_t layout, std::int32_t axis_count,
                  std::span<const float> axis_major_scores,
                  std::span<const float> point_major_scores, textio::Console& console);

}  // namespace orthaxis::plot
