#include "results/axes_test.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "export/csv.h"

namespace orthaxis::results {

namespace {

std::string general(double value, int digits) {
  char buffer[64];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  return std::string(buffer, r.ptr);
}

// The number of leading axes for which `keep` holds.
template <class Keep>
std::int32_t leading(const std::vector<AxisAssessment>& axes, Keep keep) {
  std::int32_t k = 0;
  while (k < static_cast<std::int32_t>(axes.size()) && keep(axes[static_cast<std::size_t>(k)]))
    ++k;
  return k;
}

// The regularised lower incomplete gamma function P(a, x) by its series,
// for x < a + 1.
double lower_gamma_series(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int k = 1; k < 100000; ++k) {
    term *= x / (a + k);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * 1e-16) break;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// The regularised upper incomplete gamma function Q(a, x) by its continued
// fraction (modified Lentz), for x >= a + 1.
double upper_gamma_fraction(double a, double x) {
  constexpr double kTiny = 1e-300;
  double b = x + 1.0 - a, c = 1.0 / kTiny, d = 1.0 / b, h = d;
  for (int i = 1; i < 100000; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < 1e-16) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

}  // namespace

std::vector<float> broken_stick_percent(std::int32_t m) {
  std::vector<float> b(static_cast<std::size_t>(std::max(m, 0)));
  double tail = 0.0;  // sum_{i=k..m} 1/i, from the smallest term up
  for (std::int32_t k = m; k >= 1; --k) {
    tail += 1.0 / k;
    b[static_cast<std::size_t>(k - 1)] = static_cast<float>(100.0 * tail / m);
  }
  return b;
}

float percentile95(std::span<float> values) {
  const std::size_t n = values.size();
  const std::size_t rank = (95 * n + 99) / 100;  // ceil(0.95 n), 1-based
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank - 1),
                   values.end());
  return values[rank - 1];
}

AxesAssessment assess_axes(const Eigensystem& eigen, std::span<const float> replicate_values,
                           std::int32_t replicates, std::uint64_t seed) {
  AxesAssessment a;
  a.replicates = replicates;
  a.seed = seed;
  const std::size_t p = static_cast<std::size_t>(eigen.p);
  const std::size_t m = static_cast<std::size_t>(eigen.positive_count);
  const std::size_t count = static_cast<std::size_t>(replicates);
  double total = 0.0;
  for (float v : eigen.values) total += v;
  const double mean = total / static_cast<double>(p);
  const std::vector<float> stick = broken_stick_percent(eigen.positive_count);
  std::vector<float> rank(count);
  for (std::size_t k = 0; k < m; ++k) {
    AxisAssessment x;
    x.eigenvalue = eigen.values[k];
    x.percent = eigen.percent(k);
    x.broken_stick = stick[k];
    x.above_mean = x.eigenvalue > mean;
    double sum = 0.0;
    std::int64_t at_least = 0;
    for (std::size_t r = 0; r < count; ++r) {
      rank[r] = replicate_values[r * p + k];
      sum += rank[r];
      at_least += rank[r] >= x.eigenvalue;
    }
    if (count > 0) {
      x.pa_mean = static_cast<float>(sum / static_cast<double>(count));
      x.pa_q95 = percentile95(rank);
    }
    x.p_value = static_cast<double>(1 + at_least) / static_cast<double>(count + 1);
    a.axes.push_back(x);
  }
  a.kaiser = leading(a.axes, [](const AxisAssessment& x) { return x.above_mean; });
  a.broken_stick =
      leading(a.axes, [](const AxisAssessment& x) { return x.percent > x.broken_stick; });
  a.parallel = leading(a.axes, [](const AxisAssessment& x) { return x.eigenvalue > x.pa_q95; });
  a.permutation = leading(a.axes, [](const AxisAssessment& x) { return x.p_value <= 0.05; });
  return a;
}

ChiSquareTest chi_square_test(std::int32_t n32, std::int32_t p32, std::span<const double> t) {
  const std::size_t n = static_cast<std::size_t>(n32), p = static_cast<std::size_t>(p32);
  std::vector<double> row(n, 0.0), column(p, 0.0);
  double total = 0.0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < p; ++j) {
      row[i] += t[i * p + j];
      column[j] += t[i * p + j];
      total += t[i * p + j];
    }
  ChiSquareTest c;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < p; ++j) {
      const double expected = row[i] * column[j] / total;
      const double d = t[i * p + j] - expected;
      c.statistic += d * d / expected;
    }
  c.degrees = static_cast<std::int64_t>(n - 1) * static_cast<std::int64_t>(p - 1);
  c.p_value = chi_square_tail(c.statistic, c.degrees);
  return c;
}

double chi_square_tail(double x, std::int64_t degrees) {
  if (degrees <= 0) return 1.0;
  if (x <= 0.0) return 1.0;
  const double a = static_cast<double>(degrees) / 2.0, h = x / 2.0;
  return h < a + 1.0 ? 1.0 - lower_gamma_series(a, h) : upper_gamma_fraction(a, h);
}

std::string summary_line(const AxesAssessment& a) {
  std::string s = "axes to keep: " + std::to_string(a.parallel) + " by parallel analysis, " +
                  std::to_string(a.permutation) + " by the permutation test, " +
                  std::to_string(a.broken_stick) + " by broken stick";
  if (a.correspondence) {
    const ChiSquareTest& c = a.chi_square;
    s += "; chi-square " + general(c.statistic, 6) + " on " + std::to_string(c.degrees) +
         " degrees of freedom, p = " + general(c.p_value, 3);
  } else {
    s += ", " + std::to_string(a.kaiser) + " by the Kaiser rule";
  }
  s += "; " + std::to_string(a.replicates) + " replicates, seed " + std::to_string(a.seed);
  return s;
}

void axes_table(const AxesAssessment& a, const std::function<void(std::string_view)>& line) {
  line("axis,eigenvalue,percent,broken_stick_percent,above_mean,pa_mean,pa_q95,p_value");
  for (std::size_t k = 0; k < a.axes.size(); ++k) {
    const AxisAssessment& x = a.axes[k];
    line(std::to_string(k + 1) + ',' + csv::number(x.eigenvalue) + ',' + csv::number(x.percent) +
         ',' + csv::number(x.broken_stick) + ',' + (x.above_mean ? '1' : '0') + ',' +
         csv::number(x.pa_mean) + ',' + csv::number(x.pa_q95) + ',' + general(x.p_value, 9));
  }
}

}  // namespace orthaxis::results
