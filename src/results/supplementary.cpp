#include "results/supplementary.h"

#include <cmath>
#include <limits>
#include <memory>

#include "analysis/missing.h"
#include "results/object_groups.h"

namespace orthaxis::results {

namespace {

using analysis::AnalysisType;
constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

SupplementaryPoints sized(std::size_t points, std::size_t q) {
  SupplementaryPoints s;
  s.points = static_cast<std::int32_t>(points);
  s.axes = static_cast<std::int32_t>(q);
  s.coord.assign(points * q, 0.0);
  s.cos2.assign(points * q, 0.0);
  return s;
}

// An object's values as the analysis reads them (centred, scaled), absent
// values as 0; returns their sum of squares.
double transform(const PcaSupplementaryModel& m, std::span<const float> row, std::vector<double>& z) {
  double ssq = 0.0;
  for (std::size_t j = 0; j < row.size(); ++j) {
    double v = 0.0;
    if (analysis::present(row[j])) {
      v = row[j];
      if (m.type != AnalysisType::kCrossProducts) v -= m.mean[j];
      if (m.type == AnalysisType::kCorrelations) v /= m.sd[j];
    }
    z[j] = v;
    ssq += v * v;
  }
  return ssq;
}

double projection(const Eigensystem& eigen, std::span<const double> z, std::size_t k) {
  double s = 0.0;
  for (std::size_t j = 0; j < z.size(); ++j) s += z[j] * eigen.vector(j, k);
  return s;
}

// Scores of one object's row, in the active objects' own operations: the
// same row gives the same scores.
void pca_scores(const PcaSupplementaryModel& m, std::span<const float> row, double* out) {
  const std::size_t p = row.size();
  const std::size_t q = static_cast<std::size_t>(m.q);
  const Eigensystem& eigen = *m.eigen;
  const auto x = std::make_unique<float[]>(p * kGroup);
  interleave_group(row.data(), 1, p, x.get());
  float ssq[kGroup] = {}, score[kGroup];
  centre_group(m.type, p, m.mean.data(), m.sd.data(), x.get(), ssq);
  std::vector<float> divisor(p);
  for (std::size_t c = 0; c < q; ++c) {
    const float* e = eigen.vectors.data() + c * p;
    if (m.object_norm == 0) {
      sum_group(Divide::kNot, p, x.get(), e, 0.0f, nullptr, score);
    } else if (m.type == AnalysisType::kCorrelations) {
      for (std::size_t j = 0; j < p; ++j) divisor[j] = std::sqrt(m.count[j] - 1.0f);
      sum_group(Divide::kTwice, p, x.get(), e, std::sqrt(eigen.values[c]), divisor.data(), score);
    } else {
      for (std::size_t j = 0; j < p; ++j) divisor[j] = std::sqrt((m.count[j] - 1.0f) * eigen.values[c]);
      sum_group(Divide::kOnce, p, x.get(), e, 0.0f, divisor.data(), score);
    }
    out[c] = score[0];
  }
}

// Mean and variance (divisor n) of each axis's active scores.
void axis_moments(const ScoreMatrix& scores, std::vector<double>& mean, std::vector<double>& variance) {
  const std::size_t n = static_cast<std::size_t>(scores.points());
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  mean.assign(q, 0.0);
  variance.assign(q, 0.0);
  for (std::size_t k = 0; k < q; ++k) {
    for (std::size_t i = 0; i < n; ++i) mean[k] += scores.at(i, k);
    mean[k] /= static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double d = scores.at(i, k) - mean[k];
      variance[k] += d * d;
    }
    variance[k] /= static_cast<double>(n);
  }
}

// The mean of a column's present values (NaN marks a missing one).
double present_mean(std::span<const float> values, std::size_t s, std::size_t j) {
  double sum = 0.0;
  std::size_t count = 0;
  for (std::size_t i = j; i < values.size(); i += s) {
    if (analysis::missing_cell(values[i])) continue;
    sum += values[i];
    ++count;
  }
  return count > 0 ? sum / static_cast<double>(count) : kUndefined;
}

// The groups' members: for each qualitative column, its levels' counts.
std::vector<std::int64_t> level_counts(const input::QualitativeColumn& column) {
  std::vector<std::int64_t> counts(column.levels.size(), 0);
  for (std::int32_t c : column.codes)
    if (c != input::QualitativeColumn::kNoLevel) ++counts[static_cast<std::size_t>(c)];
  return counts;
}

// A correspondence analysis' profile point: principal coordinate on each
// axis and squared chi-square distance to the centre, from the profile
// `a` (summing to 1) against the masses `centre`, and the coordinates
// `axis(j, k)` of the other set in standard units.
template <class Axis>
void profile_point(std::span<const double> a, std::span<const float> centre, std::size_t q,
                   const Axis& axis, double* coord, double* cos2) {
  double distance = 0.0;
  for (std::size_t j = 0; j < a.size(); ++j) {
    const double d = a[j] - centre[j];
    distance += d * d / centre[j];
  }
  for (std::size_t k = 0; k < q; ++k) {
    double f = 0.0;
    for (std::size_t j = 0; j < a.size(); ++j) f += (a[j] - centre[j]) * axis(j, k);
    coord[k] = f;
    cos2[k] = f * f / distance;
  }
}

// A correspondence analysis' row of amounts, missing values at the mean
// amount of their column, as a profile; false when it sums to 0.
bool row_profile(const CoaSupplementaryModel& m, std::span<const float> row, std::size_t n,
                 std::vector<double>& a) {
  double total = 0.0;
  for (std::size_t j = 0; j < row.size(); ++j) {
    a[j] = analysis::missing_cell(row[j])
               ? double{m.column_mass[j]} * m.grand_total / static_cast<double>(n)
               : double{row[j]};
    total += a[j];
  }
  if (!(total > 0.0)) return false;
  for (double& v : a) v /= total;
  return true;
}

}  // namespace

SupplementaryPoints pca_objects(const PcaSupplementaryModel& m, std::span<const float> rows) {
  const std::size_t p = m.mean.size();
  const std::size_t q = static_cast<std::size_t>(m.q);
  const std::size_t points = p > 0 ? rows.size() / p : 0;
  SupplementaryPoints s = sized(points, q);
  std::vector<float> row(p);
  std::vector<double> z(p);
  for (std::size_t i = 0; i < points; ++i) {
    // A missing value counts as the active mean.
    for (std::size_t j = 0; j < p; ++j) {
      const float v = rows[i * p + j];
      row[j] = analysis::missing_cell(v) || !analysis::present(v) ? m.mean[j] : v;
    }
    pca_scores(m, row, &s.coord[i * q]);
    const double ssq = transform(m, row, z);
    for (std::size_t k = 0; k < q; ++k) {
      const double f = projection(*m.eigen, z, k);
      s.cos2[i * q + k] = f * f / ssq;
    }
  }
  return s;
}

SupplementaryPoints pca_variables(const ScoreMatrix& scores, std::span<const float> values,
                                  std::size_t s) {
  const std::size_t n = static_cast<std::size_t>(scores.points());
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  SupplementaryPoints out = sized(s, q);
  std::vector<double> mean, variance;
  axis_moments(scores, mean, variance);
  for (std::size_t j = 0; j < s; ++j) {
    const double y_mean = present_mean(values, s, j);
    double yy = 0.0;
    std::vector<double> fy(q, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const float v = values[i * s + j];
      const double y = analysis::missing_cell(v) ? 0.0 : v - y_mean;
      yy += y * y;
      for (std::size_t k = 0; k < q; ++k) fy[k] += y * (scores.at(i, k) - mean[k]);
    }
    for (std::size_t k = 0; k < q; ++k) {
      const double r = fy[k] / std::sqrt(yy * variance[k] * static_cast<double>(n));
      out.coord[j * q + k] = r;
      out.cos2[j * q + k] = r * r;
    }
  }
  return out;
}

std::vector<LevelPoint> pca_levels(const PcaSupplementaryModel& m, const ScoreMatrix& scores,
                                   std::span<const input::QualitativeColumn> qualitative,
                                   const RowVisitor& rows) {
  const std::size_t n = static_cast<std::size_t>(scores.points());
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  const std::size_t p = m.mean.size();
  std::vector<double> mean, variance;
  axis_moments(scores, mean, variance);
  // Each level's sums of scores and of transformed rows.
  std::vector<std::vector<double>> score_sum, row_sum;
  std::vector<std::size_t> first;  // each column's first level among them
  for (const auto& column : qualitative) {
    first.push_back(score_sum.size());
    for (std::size_t l = 0; l < column.levels.size(); ++l) {
      score_sum.emplace_back(q, 0.0);
      row_sum.emplace_back(p, 0.0);
    }
  }
  std::vector<double> z(p);
  rows([&](std::size_t i, std::span<const float> row) {
    transform(m, row, z);
    for (std::size_t c = 0; c < qualitative.size(); ++c) {
      const std::int32_t code = qualitative[c].codes[i];
      if (code == input::QualitativeColumn::kNoLevel) continue;
      const std::size_t l = first[c] + static_cast<std::size_t>(code);
      for (std::size_t k = 0; k < q; ++k) score_sum[l][k] += scores.at(i, k);
      for (std::size_t j = 0; j < p; ++j) row_sum[l][j] += z[j];
    }
  });
  std::vector<LevelPoint> levels;
  for (std::size_t c = 0; c < qualitative.size(); ++c) {
    const std::vector<std::int64_t> counts = level_counts(qualitative[c]);
    for (std::size_t l = 0; l < counts.size(); ++l) {
      LevelPoint point{qualitative[c].name, qualitative[c].levels[l], counts[l], {}, {}, {}};
      const double nk = static_cast<double>(counts[l]);
      const std::size_t at = first[c] + l;
      double distance = 0.0;
      for (double& v : row_sum[at]) {
        v /= nk;
        distance += v * v;
      }
      for (std::size_t k = 0; k < q; ++k) {
        const double coord = score_sum[at][k] / nk;
        const double f = projection(*m.eigen, row_sum[at], k);
        const double nn = static_cast<double>(n);
        point.coord.push_back(coord);
        point.cos2.push_back(f * f / distance);
        point.vtest.push_back(coord / std::sqrt(variance[k] / nk * (nn - nk) / (nn - 1.0)));
      }
      levels.push_back(std::move(point));
    }
  }
  return levels;
}

SupplementaryPoints coa_rows(const CoaSupplementaryModel& m, std::span<const float> rows) {
  const std::size_t p = m.column_mass.size();
  const std::size_t n = m.row_mass.size();
  const std::size_t q = static_cast<std::size_t>(m.q);
  const std::size_t points = p > 0 ? rows.size() / p : 0;
  SupplementaryPoints s = sized(points, q);
  const Eigensystem& eigen = *m.eigen;
  // The columns' standard coordinates.
  auto standard = [&](std::size_t j, std::size_t k) {
    return eigen.vector(j, k) / std::sqrt(double{m.column_mass[j]});
  };
  std::vector<double> a(p);
  for (std::size_t i = 0; i < points; ++i) {
    double* coord = &s.coord[i * q];
    double* cos2 = &s.cos2[i * q];
    if (!row_profile(m, rows.subspan(i * p, p), n, a)) {
      for (std::size_t k = 0; k < q; ++k) coord[k] = cos2[k] = kUndefined;
      continue;
    }
    profile_point(a, m.column_mass, q, standard, coord, cos2);
    // Rows in principal coordinates with scaling 0, in standard ones otherwise.
    if (m.scaling > 0)
      for (std::size_t k = 0; k < q; ++k) coord[k] /= std::sqrt(double{eigen.values[k]});
  }
  return s;
}

SupplementaryPoints coa_columns(const CoaSupplementaryModel& m, const ScoreMatrix& objects,
                                std::span<const float> values, std::size_t s) {
  const std::size_t n = m.row_mass.size();
  const std::size_t q = static_cast<std::size_t>(m.q);
  SupplementaryPoints out = sized(s, q);
  const Eigensystem& eigen = *m.eigen;
  // The rows' standard coordinates, from their scores.
  auto standard = [&](std::size_t i, std::size_t k) {
    const double f = objects.at(i, k);
    return m.scaling == 0 ? f / std::sqrt(double{eigen.values[k]}) : f;
  };
  std::vector<double> a(n);
  for (std::size_t j = 0; j < s; ++j) {
    const double fill = present_mean(values, s, j);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const float v = values[i * s + j];
      a[i] = analysis::missing_cell(v) ? fill : v;
      total += a[i];
    }
    double* coord = &out.coord[j * q];
    double* cos2 = &out.cos2[j * q];
    if (!(total > 0.0)) {
      for (std::size_t k = 0; k < q; ++k) coord[k] = cos2[k] = kUndefined;
      continue;
    }
    for (double& v : a) v /= total;
    profile_point(a, m.row_mass, q, standard, coord, cos2);
    // Columns in principal coordinates with scaling 2, in standard ones otherwise.
    if (m.scaling != 2)
      for (std::size_t k = 0; k < q; ++k) coord[k] /= std::sqrt(double{eigen.values[k]});
  }
  return out;
}

std::vector<LevelPoint> coa_levels(const CoaSupplementaryModel& m,
                                   std::span<const input::QualitativeColumn> qualitative,
                                   const RowVisitor& rows) {
  const std::size_t p = m.column_mass.size();
  const std::size_t q = static_cast<std::size_t>(m.q);
  // Each level as the row of its objects' sums.
  std::vector<float> sums;
  std::vector<std::size_t> first;
  for (const auto& column : qualitative) {
    first.push_back(sums.size() / std::max<std::size_t>(p, 1));
    sums.resize(sums.size() + column.levels.size() * p, 0.0f);
  }
  std::vector<double> exact(sums.size(), 0.0);
  rows([&](std::size_t i, std::span<const float> row) {
    for (std::size_t c = 0; c < qualitative.size(); ++c) {
      const std::int32_t code = qualitative[c].codes[i];
      if (code == input::QualitativeColumn::kNoLevel) continue;
      const std::size_t l = first[c] + static_cast<std::size_t>(code);
      for (std::size_t j = 0; j < p; ++j) exact[l * p + j] += row[j];
    }
  });
  for (std::size_t k = 0; k < sums.size(); ++k) sums[k] = static_cast<float>(exact[k]);
  const SupplementaryPoints points = coa_rows(m, sums);
  std::vector<LevelPoint> levels;
  for (std::size_t c = 0; c < qualitative.size(); ++c) {
    const std::vector<std::int64_t> counts = level_counts(qualitative[c]);
    for (std::size_t l = 0; l < counts.size(); ++l) {
      const std::size_t at = first[c] + l;
      LevelPoint point{qualitative[c].name, qualitative[c].levels[l], counts[l], {}, {}, {}};
      for (std::size_t k = 0; k < q; ++k) {
        point.coord.push_back(points.coordinate(at, k));
        point.cos2.push_back(points.quality(at, k));
      }
      levels.push_back(std::move(point));
    }
  }
  return levels;
}

}  // namespace orthaxis::results
