#include "results/eigensystem.h"

#include <utility>

#include "analysis/packed.h"

namespace orthaxis::results {

Eigensystem Eigensystem::from_diagonal(std::int32_t p, std::span<const float> a,
                                       analysis::WorkArray vectors) {
  Eigensystem e;
  e.p = p;
  e.vectors = std::move(vectors);
  const std::size_t np = static_cast<std::size_t>(p);
  e.values.resize(np);
  for (std::size_t i = 1; i <= np; ++i) {
    const float value = a[analysis::packed_index(i, i)];
    e.values[i - 1] = value;
    if (value > 0.0f) {
      e.positive_sum += value;
      ++e.positive_count;
    }
  }
  return e;
}

Eigensystem Eigensystem::from_values(std::vector<float> values, analysis::WorkArray vectors) {
  Eigensystem e;
  e.p = static_cast<std::int32_t>(values.size());
  e.values = std::move(values);
  e.vectors = std::move(vectors);
  for (const float value : e.values) {
    if (value > 0.0f) {
      e.positive_sum += value;
      ++e.positive_count;
    }
  }
  return e;
}

std::vector<float> Eigensystem::percentages() const {
  std::vector<float> list(static_cast<std::size_t>(positive_count));
  for (std::size_t k = 0; k < list.size(); ++k) list[k] = percent(k);
  return list;
}

std::vector<float> Eigensystem::cumulative_percentages() const {
  std::vector<float> list = percentages();
  for (std::size_t k = 1; k < list.size(); ++k) list[k] = list[k] + list[k - 1];
  return list;
}

}  // namespace orthaxis::results
