#include "results/quality.h"

#include <cmath>
#include <vector>

#include "analysis/statistics.h"

namespace orthaxis::results {

namespace {
ScoreMatrix empty_matrix(std::int32_t points, std::int32_t q) {
  const std::size_t size = static_cast<std::size_t>(points) * static_cast<std::size_t>(q);
  return ScoreMatrix(analysis::WorkArray(size), points, q, ScoreLayout::kPointRows);
}
}  // namespace

Quality pca_quality(const PcaModel& m, const Eigensystem& eigen,
                    std::span<const float> diagonal, std::int32_t q) {
  using analysis::AnalysisType;
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t axes = static_cast<std::size_t>(q);
  Quality quality{empty_matrix(m.n, q), empty_matrix(m.p, q)};

  std::vector<float> x(p);
  std::vector<double> centred(p);
  std::vector<char> present(p);
  for (std::size_t i = 0; i < n; ++i) {
    m.scratch->read_row(x);
    double ssq = 0.0;
    for (std::size_t j = 0; j < p; ++j) {
      present[j] = analysis::present(x[j]);
      if (!present[j]) continue;
      double v = x[j];
      if (m.type != AnalysisType::kCrossProducts) v -= m.mean[j];
      if (m.type == AnalysisType::kCorrelations) v /= m.sd[j];
      centred[j] = v;
      ssq += v * v;
    }
    for (std::size_t k = 0; k < axes; ++k) {
      double projection = 0.0;
      for (std::size_t j = 0; j < p; ++j)
        if (present[j]) projection += centred[j] * eigen.vector(j, k);
      quality.objects.at(i, k) = static_cast<float>(projection * projection / ssq);
    }
  }
  m.scratch->rewind();

  for (std::size_t j = 0; j < p; ++j) {
    for (std::size_t k = 0; k < axes; ++k) {
      const double e = eigen.vector(j, k);
      quality.variables.at(j, k) =
          static_cast<float>(e * e * eigen.values[k] / static_cast<double>(diagonal[j]));
    }
  }
  return quality;
}

Quality coa_quality(input::ScratchFile& scratch, const Masses& masses, const Eigensystem& eigen,
                    std::int32_t q) {
  const std::span<const float> object_mass = masses.objects;
  const std::span<const float> variable_mass = masses.variables;
  const std::size_t n = object_mass.size();
  const std::size_t p = variable_mass.size();
  const auto n32 = static_cast<std::int32_t>(n);
  const auto p32 = static_cast<std::int32_t>(p);
  const std::size_t axes = static_cast<std::size_t>(q);
  Quality quality{empty_matrix(n32, q), empty_matrix(p32, q)};

  // Column sums of the amounts and of their squares over the row masses,
  // for the distances of the column profiles.
  std::vector<double> column_sum(p, 0.0), column_squares(p, 0.0);
  double mass_sum = 0.0;
  std::vector<double> root(p), deviation(p);  // per column: root of its mass; the profile's deviation
  for (std::size_t j = 0; j < p; ++j) root[j] = std::sqrt(static_cast<double>(variable_mass[j]));
  std::vector<float> x(p);
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    const double r = object_mass[i];
    mass_sum += r;
    double total = 0.0;
    for (std::size_t j = 0; j < p; ++j) total += x[j];
    double distance = 0.0;  // squared chi-square distance of the row profile
    for (std::size_t j = 0; j < p; ++j) {
      const double c = variable_mass[j];
      const double d = x[j] / total - c;
      deviation[j] = d;
      distance += d * d / c;
      column_sum[j] += x[j];
      column_squares[j] += static_cast<double>(x[j]) * x[j] / r;
    }
    for (std::size_t k = 0; k < axes; ++k) {
      // Principal coordinate of the centred profile: centring leaves the
      // axes of positive inertia as they are and keeps a rounding-positive
      // axis along the trivial direction at zero.
      double f = 0.0;
      for (std::size_t j = 0; j < p; ++j) f += deviation[j] * eigen.vector(j, k) / root[j];
      quality.objects.at(i, k) = static_cast<float>(f * f / distance);
    }
  }
  scratch.rewind();

  for (std::size_t j = 0; j < p; ++j) {
    // sum over i of (x_ij / s_j - r_i)^2 / r_i, expanded.
    const double s = column_sum[j];
    const double distance = column_squares[j] / (s * s) - 2.0 + mass_sum;
    for (std::size_t k = 0; k < axes; ++k) {
      const double v = eigen.vector(j, k);
      quality.variables.at(j, k) = static_cast<float>(
          eigen.values[k] * v * v / (static_cast<double>(variable_mass[j]) * distance));
    }
  }
  return quality;
}

}  // namespace orthaxis::results
