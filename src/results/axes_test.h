#pragma once
// How many axes to keep, by four rules, from the observed eigenvalues and
// those of replicate tables without structure:
//   Kaiser: the leading axes whose eigenvalue is above the mean eigenvalue;
//   broken stick: the leading axes whose share (percent of the positive
//     eigenvalues) is above the broken-stick share b_k = (100/m) sum_{i=k..m} 1/i,
//     m the number of positive eigenvalues;
//   parallel analysis: the leading axes whose eigenvalue is above the 95th
//     percentile of the replicates' eigenvalues of the same rank;
//   permutation test: the leading axes whose p-value (1 + replicates with an
//     eigenvalue of that rank at least the observed one) / (N + 1) is at
//     most 0.05.
// The 95th percentile of N values is the ceil(0.95 N)-th smallest.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/eigensystem.h"

namespace orthaxis::results {

struct AxisAssessment {
  float eigenvalue = 0.0f;
  float percent = 0.0f;       // as the report gives it
  float broken_stick = 0.0f;  // percent
  bool above_mean = false;
  float pa_mean = 0.0f, pa_q95 = 0.0f;
  double p_value = 1.0;
};

struct ChiSquareTest {
  double statistic = 0.0;
  std::int64_t degrees = 0;
  double p_value = 1.0;
};

struct AxesAssessment {
  std::vector<AxisAssessment> axes;  // one per positive eigenvalue
  std::int32_t replicates = 0;
  std::uint64_t seed = 0;
  bool correspondence = false;
  ChiSquareTest chi_square;  // correspondence analysis
  std::int32_t kaiser = 0, broken_stick = 0, parallel = 0, permutation = 0;  // axes to keep
};

// b_1 .. b_m in percent.
std::vector<float> broken_stick_percent(std::int32_t m);

// The ceil(0.95 N)-th smallest of `values` (N >= 1); `values` is reordered.
float percentile95(std::span<float> values);

// `replicate_values`: N x p, replicate after replicate, each non-increasing.
AxesAssessment assess_axes(const Eigensystem& eigen, std::span<const float> replicate_values,
                           std::int32_t replicates, std::uint64_t seed);

// The chi-square test of independence of an n x p table given row after
// row: sum over the cells of (observed - expected)^2 / expected, with
// expected = row total * column total / grand total, on (n - 1)(p - 1)
// degrees of freedom. Every row and column total must be positive.
ChiSquareTest chi_square_test(std::int32_t n, std::int32_t p, std::span<const double> table);

// The upper tail probability of the chi-square law with `degrees` degrees of
// freedom beyond `x`.
double chi_square_tail(double x, std::int64_t degrees);

// "axes to keep: ..." for the person.
std::string summary_line(const AxesAssessment& a);

// axis,eigenvalue,percent,broken_stick_percent,above_mean,pa_mean,pa_q95,p_value
void axes_table(const AxesAssessment& a, const std::function<void(std::string_view)>& line);

}  // namespace orthaxis::results
