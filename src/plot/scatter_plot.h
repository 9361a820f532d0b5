#pragma once
// Character scatter plot of two score axes on the console: an axis report
// (extremes, scaling unit and tick step of each axis), the list of points
// that could not be drawn, and a picture of 30 to 80 lines of 50 to 100
// cells with the zero lines of both axes, their tick marks and the points.

#include <cstdint>

#include "results/score_matrix.h"
#include "textio/console.h"

namespace orthaxis::plot {

// Plots the points of `scores` on two of its axes (1-based). All output goes
// to the console only.
void scatter_plot(const results::ScoreMatrix& scores, std::int32_t horizontal_axis,
                  std::int32_t vertical_axis, textio::Console& console);

}  // namespace orthaxis::plot
