#include "analysis/random_table.h"

#include <algorithm>

namespace orthaxis::analysis {

namespace {
constexpr double kNegligible = 0x1.0p-64;
}  // namespace

std::int64_t hypergeometric(std::int64_t population, std::int64_t marked, std::int64_t draws,
                            KeyedStream& stream, std::vector<double>& weights) {
  const std::int64_t lo = std::max<std::int64_t>(0, draws - (population - marked));
  const std::int64_t hi = std::min(draws, marked);
  if (lo >= hi) return lo;
  const std::int64_t unmarked = population - marked;
  std::int64_t mode = static_cast<std::int64_t>(
      (static_cast<unsigned __int128>(draws + 1) * static_cast<unsigned __int128>(marked + 1)) /
      static_cast<unsigned __int128>(population + 2));
  mode = std::clamp(mode, lo, hi);
  // weights[2k - 1]: mode + k, weights[2k]: mode - k (0 when off the support
  // or negligible); weights[0]: the mode.
  weights.assign(1, 1.0);
  double sum = 1.0;
  double up = 1.0, down = 1.0;
  bool up_open = mode < hi, down_open = mode > lo;
  for (std::int64_t k = 1; up_open || down_open; ++k) {
    if (up_open) {
      const std::int64_t x = mode + k - 1;  // from x to x + 1
      up = up * (static_cast<double>(marked - x) * static_cast<double>(draws - x)) /
           (static_cast<double>(x + 1) * static_cast<double>(unmarked - draws + x + 1));
      sum += up;
      up_open = mode + k < hi && up >= kNegligible * sum;
    }
    weights.push_back(up_open || mode + k <= hi ? up : 0.0);
    if (!up_open) up = 0.0;
    if (down_open) {
      const std::int64_t x = mode - k + 1;  // from x to x - 1
      down = down * (static_cast<double>(x) * static_cast<double>(unmarked - draws + x)) /
             (static_cast<double>(marked - x + 1) * static_cast<double>(draws - x + 1));
      sum += down;
      down_open = mode - k > lo && down >= kNegligible * sum;
    }
    weights.push_back(down_open || mode - k >= lo ? down : 0.0);
    if (!down_open) down = 0.0;
  }
  const double u = stream.unit() * sum;
  double cumulative = 0.0;
  std::int64_t last = mode;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] == 0.0) continue;
    const std::int64_t k = static_cast<std::int64_t>((i + 1) / 2);
    last = i == 0 ? mode : (i % 2 == 1 ? mode + k : mode - k);
    cumulative += weights[i];
    if (u < cumulative) return last;
  }
  return last;
}

void random_table(std::span<const std::int64_t> row_totals,
                  std::span<const std::int64_t> column_totals, KeyedStream& stream,
                  std::span<std::int64_t> table, std::vector<double>& weights) {
  const std::size_t rows = row_totals.size(), columns = column_totals.size();
  std::vector<std::int64_t> left(column_totals.begin(), column_totals.end());
  std::int64_t remaining = 0;  // the total of the rows not yet drawn
  for (std::int64_t c : column_totals) remaining += c;
  for (std::size_t i = 0; i + 1 < rows; ++i) {
    std::int64_t row_left = row_totals[i];
    std::int64_t population = remaining;  // the columns from j on, rows from i on
    std::int64_t* const out = table.data() + i * columns;
    for (std::size_t j = 0; j + 1 < columns; ++j) {
      const std::int64_t x = hypergeometric(population, left[j], row_left, stream, weights);
      population -= left[j];
      out[j] = x;
      left[j] -= x;
      row_left -= x;
    }
    out[columns - 1] = row_left;
    left[columns - 1] -= row_left;
    remaining -= row_totals[i];
  }
  std::int64_t* const last = table.data() + (rows - 1) * columns;
  for (std::size_t j = 0; j < columns; ++j) last[j] = left[j];
}

}  // namespace orthaxis::analysis
