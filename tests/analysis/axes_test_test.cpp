// The axes test: the keyed generator, random tables with given margins, the
// rules and the chi-square test, and the replicates on tables with and
// without structure.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "analysis/keyed_random.h"
#include "analysis/random_table.h"
#include "analysis/replicates.h"
#include "analysis/worker_pool.h"
#include "results/axes_test.h"

namespace orthaxis {
namespace {

using analysis::KeyedStream;

// Worked from the definition, step by step (z1 after the first
// xor-shift-multiply, z2 after the second, then the last xor-shift):
//   key(0, 0, 0) = 0 xor mix(0) = 0
//   output 0: state 0x9e3779b97f4a7c15, z1 0x6f68261b57e7a770,
//             z2 0xe220a838bf5c9dde, result 0xe220a8397b1dcdaf
//   output 1: state 0x3c6ef372fe94f82a, z1 0x2a94fcbfccb43499,
//             z2 0x6e789e6a7d485920, result 0x6e789e6aa1b965f4
//   mix(2^32 + 2): z1 0x98f69247ad5d6256, z2 0xf2c6924f9873f6a1,
//             result 0xf2c6924e7dfed23e
//   key(12345, 1, 2) = 12345 xor that = 0xf2c6924e7dfee207
//   output 0: state 0x90fe0c07fd495e1c, z1 0xd367be10d44d2f2b,
//             z2 0x699ba14906b8fcfb, result 0x699ba149d58fbe69
//   its words: 0xd58fbe69 (low half), then 0x699ba149 (high half);
//   below(10) = high 32 bits of 0xd58fbe69 * 10 = 0x8579d701a -> 8,
//   then of 0x699ba149 * 10 = 0x420144cda -> 4
TEST(KeyedRandom, FirstOutputsAsWorkedByHand) {
  KeyedStream zero(0, 0, 0);
  EXPECT_EQ(zero.next(), 0xe220a8397b1dcdafull);
  EXPECT_EQ(zero.next(), 0x6e789e6aa1b965f4ull);
  EXPECT_EQ(analysis::stream_key(12345, 1, 2), 0xf2c6924e7dfee207ull);
  EXPECT_EQ(KeyedStream(12345, 1, 2).next(), 0x699ba149d58fbe69ull);
  KeyedStream s(12345, 1, 2);
  EXPECT_EQ(s.below(10), 8u);
  EXPECT_EQ(s.below(10), 4u);
  // Streams of neighbouring keys differ.
  EXPECT_NE(KeyedStream(12345, 1, 3).next(), KeyedStream(12345, 2, 2).next());
}

TEST(RandomTable, KeepsBothMarginsExactly) {
  struct Case {
    std::vector<std::int64_t> rows, columns;
  };
  const Case cases[] = {
      {{5, 7}, {3, 9}},
      {{12}, {4, 0, 8}},
      {{1, 0, 2, 30}, {33}},
      {{40, 1, 17, 0, 9}, {20, 20, 0, 27}},
      {{1000, 2000, 3}, {1500, 1, 1502}},
  };
  std::vector<double> weights;
  for (const Case& c : cases) {
    std::vector<std::int64_t> table(c.rows.size() * c.columns.size());
    for (std::uint32_t r = 0; r < 50; ++r) {
      KeyedStream stream(99, r, 0);
      analysis::random_table(c.rows, c.columns, stream, table, weights);
      for (std::size_t i = 0; i < c.rows.size(); ++i) {
        std::int64_t sum = 0;
        for (std::size_t j = 0; j < c.columns.size(); ++j) {
          const std::int64_t x = table[i * c.columns.size() + j];
          ASSERT_GE(x, 0);
          sum += x;
        }
        EXPECT_EQ(sum, c.rows[i]);
      }
      for (std::size_t j = 0; j < c.columns.size(); ++j) {
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < c.rows.size(); ++i) sum += table[i * c.columns.size() + j];
        EXPECT_EQ(sum, c.columns[j]);
      }
    }
  }
}

TEST(RandomTable, HypergeometricDrawsHaveTheirMeanAndVariance) {
  // 30 drawn from 100 of which 40 are marked: mean 12, variance
  // 30 * 0.4 * 0.6 * 70 / 99 = 5.0909.
  std::vector<double> weights;
  KeyedStream stream(5, 0, 0);
  const int draws = 20000;
  double sum = 0.0, squares = 0.0;
  for (int k = 0; k < draws; ++k) {
    const double x = static_cast<double>(analysis::hypergeometric(100, 40, 30, stream, weights));
    sum += x;
    squares += x * x;
  }
  const double mean = sum / draws, variance = squares / draws - mean * mean;
  EXPECT_NEAR(mean, 12.0, 4.0 * std::sqrt(5.0909 / draws));
  EXPECT_NEAR(variance, 5.0909, 0.25);
}

TEST(AxesRules, BrokenStickIsTheClosedForm) {
  for (std::int32_t m : {1, 2, 3, 7, 40}) {
    const std::vector<float> b = results::broken_stick_percent(m);
    ASSERT_EQ(b.size(), static_cast<std::size_t>(m));
    for (std::int32_t k = 1; k <= m; ++k) {
      double sum = 0.0;
      for (std::int32_t i = k; i <= m; ++i) sum += 1.0 / i;
      EXPECT_NEAR(b[static_cast<std::size_t>(k - 1)], 100.0 * sum / m, 1e-4) << m << " " << k;
    }
  }
}

TEST(AxesRules, PercentileIsTheCeilingRank) {
  struct Case {
    std::size_t n;
    float expected;  // values 1..n: the ceil(0.95 n)-th smallest is ceil(0.95 n)
  };
  for (const Case c : {Case{1, 1}, Case{19, 19}, Case{20, 19}, Case{199, 190}, Case{999, 950}}) {
    std::vector<float> v(c.n);
    for (std::size_t i = 0; i < c.n; ++i) v[i] = static_cast<float>(c.n - i);  // reversed
    EXPECT_EQ(results::percentile95(v), c.expected) << c.n;
  }
}

TEST(AxesRules, ChiSquareOfAWorkedTable) {
  // 10 20 30 | 60      expected (row x column / 120): 15 20 25
  // 20 20 20 | 60                                     15 20 25
  // 30 40 50 | 120
  // (10-15)^2/15 + 0 + (30-25)^2/25 + (20-15)^2/15 + 0 + (20-25)^2/25
  //   = 5/3 + 1 + 5/3 + 1 = 16/3 on (2-1)(3-1) = 2 degrees of freedom;
  // with 2 degrees of freedom the tail beyond x is exp(-x/2) = exp(-8/3).
  const std::vector<double> table = {10, 20, 30, 20, 20, 20};
  const results::ChiSquareTest c = results::chi_square_test(2, 3, table);
  EXPECT_NEAR(c.statistic, 16.0 / 3.0, 1e-12);
  EXPECT_EQ(c.degrees, 2);
  EXPECT_NEAR(c.p_value, std::exp(-8.0 / 3.0), 1e-12);
  // One degree of freedom: the tail beyond 3.841459 is 0.05; 20 degrees beyond 31.41043 too.
  EXPECT_NEAR(results::chi_square_tail(3.841459, 1), 0.05, 1e-6);
  EXPECT_NEAR(results::chi_square_tail(31.41043, 20), 0.05, 1e-6);
}

// Replicates on a table n x p (column after column) and the rules' verdict.
results::AxesAssessment assess(std::int32_t n, std::int32_t p, const std::vector<float>& columns,
                               std::int32_t replicates, std::uint64_t seed,
                               analysis::WorkerPool* pool = nullptr) {
  results::Eigensystem e;
  e.p = p;
  e.values.resize(static_cast<std::size_t>(p));
  EXPECT_TRUE(analysis::pca_eigenvalues(analysis::AnalysisType::kCorrelations, n, p, columns,
                                        e.values));
  for (float v : e.values)
    if (v > 0.0f) {
      e.positive_sum += v;
      ++e.positive_count;
    }
  const std::vector<float> r = analysis::pca_replicates(analysis::AnalysisType::kCorrelations, n,
                                                        p, columns, {replicates, seed, pool, {}});
  return results::assess_axes(e, r, replicates, seed);
}

// Normal deviates from a keyed stream (sum of twelve uniforms less six).
float deviate(KeyedStream& s) {
  double sum = -6.0;
  for (int k = 0; k < 12; ++k) sum += s.unit();
  return static_cast<float>(sum);
}

TEST(AxesReplicates, IndependentColumnsShowNoAxisInAboutNinetyFivePercentOfSeeds) {
  const std::int32_t n = 40, p = 5;
  int none = 0;
  for (std::uint32_t seed = 0; seed < 40; ++seed) {
    std::vector<float> columns(static_cast<std::size_t>(n * p));
    KeyedStream data(777, seed, 0);
    for (float& x : columns) x = 10.0f + deviate(data);
    none += assess(n, p, columns, 99, seed).parallel == 0;
  }
  EXPECT_GE(none, 34);  // binomial(40, 0.95): 34 or more with probability 0.99
}

TEST(AxesReplicates, TwoPlantedFactorsGiveTwoAxesForEveryThreadCount) {
  const std::int32_t n = 120, p = 8;
  std::vector<float> columns(static_cast<std::size_t>(n * p));
  KeyedStream data(4242, 0, 0);
  for (std::int32_t i = 0; i < n; ++i) {
    const float f1 = deviate(data), f2 = deviate(data);
    for (std::int32_t j = 0; j < p; ++j) {
      const float planted = j < 4 ? f1 : f2;
      columns[static_cast<std::size_t>(j * n + i)] = 20.0f + planted + 0.6f * deviate(data);
    }
  }
  const results::AxesAssessment one = assess(n, p, columns, 99, 12345);
  EXPECT_EQ(one.parallel, 2);
  EXPECT_EQ(one.permutation, 2);
  EXPECT_EQ(one.kaiser, 2);
  analysis::WorkerPool pool(3);
  const results::AxesAssessment three = assess(n, p, columns, 99, 12345, &pool);
  for (std::size_t k = 0; k < one.axes.size(); ++k) {
    EXPECT_EQ(one.axes[k].pa_q95, three.axes[k].pa_q95);
    EXPECT_EQ(one.axes[k].pa_mean, three.axes[k].pa_mean);
    EXPECT_EQ(one.axes[k].p_value, three.axes[k].p_value);
  }
}

}  // namespace
}  // namespace orthaxis
