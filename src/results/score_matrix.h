#pragma once
// Scores of a set of points (objects or variables) on the retained axes,
// with their labels. The storage is owned and reused from the run's work
// arrays, so the two layouts of those arrays are kept:
// - kPointRows: point i's scores side by side, (i, k) at i * axes + k;
// - kAxisColumns: one column of `stride` values per axis, (i, k) at
//   k * stride + i (the eigenvector matrix becoming the variable scores).

#include <cstddef>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/work_array.h"

namespace orthaxis::results {

enum class ScoreLayout { kPointRows, kAxisColumns };

class ScoreMatrix {
 public:
  ScoreMatrix() = default;
  ScoreMatrix(analysis::WorkArray storage, std::int32_t points, std::int32_t axes,
              ScoreLayout layout, std::span<const std::string> labels = {})
      : storage_(std::move(storage)),
        points_(points),
        axes_(axes),
        layout_(layout),
        stride_(layout == ScoreLayout::kPointRows ? static_cast<std::size_t>(axes)
                                                  : static_cast<std::size_t>(points)),
        labels_(labels) {}
  // The same from a copy of `values` (a braced list goes to the first).
  template <class V>
    requires std::same_as<V, std::vector<float>>
  ScoreMatrix(const V& values, std::int32_t points, std::int32_t axes,
              ScoreLayout layout, std::span<const std::string> labels = {})
      : ScoreMatrix(analysis::WorkArray(values.begin(), values.end()), points, axes, layout,
                    labels) {}

  std::int32_t points() const { return points_; }
  std::int32_t axes() const { return axes_; }
  ScoreLayout layout() const { return layout_; }

  // Score of point i on axis k, both 0-based.
  float& at(std::size_t i, std::size_t k) { return storage_[index(i, k)]; }
  float at(std::size_t i, std::size_t k) const { return storage_[index(i, k)]; }

  // Point i's scores, contiguous with kPointRows.
  std::span<float> point(std::size_t i) {
    return std::span<float>(storage_).subspan(i * stride_, static_cast<std::size_t>(axes_));
  }
  std::span<const float> point(std::size_t i) const {
    return std::span<const float>(storage_).subspan(i * stride_, static_cast<std::size_t>(axes_));
  }

  // Axis k's scores, contiguous with kAxisColumns.
  std::span<const float> axis(std::size_t k) const {
    return std::span<const float>(storage_).subspan(k * stride_, static_cast<std::size_t>(points_));
  }

  // 8-character labels of the points; empty when the points are numbered only.
  bool labelled() const { return !labels_.empty(); }
  const std::string& label(std::size_t i) const { return labels_[i]; }

  // Gives the storage back (for reuse by a later phase).
  analysis::WorkArray release() { return std::move(storage_); }

 private:
  std::size_t index(std::size_t i, std::size_t k) const {
    return layout_ == ScoreLayout::kPointRows ? i * stride_ + k : k * stride_ + i;
  }

  analysis::WorkArray storage_;
  std::int32_t points_ = 0, axes_ = 0;
  ScoreLayout layout_ = ScoreLayout::kPointRows;
  std::size_t stride_ = 0;
  std::span<const std::string> labels_;
};

}  // namespace orthaxis::results
