// The blocked accumulation must give bit for bit the sums of the plain
// object-by-object, pair-by-pair accumulation.

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <random>
#include <vector>

#include "analysis/packed.h"
#include "analysis/statistics.h"

namespace orthaxis::analysis {
namespace {

struct Arrays {
  explicit Arrays(std::size_t len) : a(len), count(len), sx(len), sy(len), qx(len), qy(len) {}
  PairSums sums() { return {a, count, sx, sy, qx, qy}; }
  std::vector<float> a, count, sx, sy, qx, qy;
};

void expect_same(const std::vector<float>& x, const std::vector<float>& y, const char* what) {
  ASSERT_EQ(x.size(), y.size());
  EXPECT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0) << what;
}

void check(std::int32_t p, std::int32_t n, double missing_rate, unsigned seed,
           std::size_t threads = 0) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(0.0f, 100.0f);
  std::bernoulli_distribution missing(missing_rate);
  const std::size_t len = packed_length(static_cast<std::size_t>(p));
  Arrays blocked(len), direct(len);
  for (std::size_t k = 0; k < len; ++k) {
    direct.count[k] = static_cast<float>(n);
    direct.a[k] = direct.sx[k] = direct.sy[k] = direct.qx[k] = direct.qy[k] = 0.0f;
  }
  // The variable sums the accumulator adds on the side, and add_variable_sums'.
  const std::size_t np = static_cast<std::size_t>(p), nn = static_cast<std::size_t>(n);
  std::vector<float> sum[2], count[2], ssq[2], total[2];
  VariableSums vars[2];
  for (int k = 0; k < 2; ++k) {
    sum[k].resize(np), count[k].resize(np), ssq[k].resize(nn), total[k].resize(nn);
    vars[k] = {sum[k], count[k], ssq[k], total[k], 0.0f};
    start_variable_sums(vars[k], n);
  }
  // threads = 0: no pool, the caller adds every block itself.
  WorkerPool pool(threads);
  PairAccumulator acc(p, n, blocked.sums(), threads == 0 ? nullptr : &pool, &vars[0]);
  std::vector<float> row(static_cast<std::size_t>(p));
  for (std::int32_t i = 0; i < n; ++i) {
    for (auto& x : row) x = missing(rng) ? -1.0f : value(rng);
    // Some exact zeros: present values of 0 and of -0; some objects that miss
    // every value.
    if (i % 7 == 0) row[static_cast<std::size_t>(i) % row.size()] = 0.0f;
    if (i % 11 == 0) row[static_cast<std::size_t>(3 * i) % row.size()] = -0.0f;
    if (missing_rate > 0.0 && i % 13 == 5) std::fill(row.begin(), row.end(), -1.0f);
    acc.add(row);
    accumulate_pairs_directly(p, direct.sums(), row);
    add_variable_sums(vars[1], static_cast<std::size_t>(i), row, false);
  }
  acc.finish();
  expect_same(sum[0], sum[1], "variable sums");
  expect_same(count[0], count[1], "variable counts");
  expect_same(ssq[0], ssq[1], "object sums of squares");
  expect_same(blocked.a, direct.a, "cross products");
  expect_same(blocked.count, direct.count, "pair counts");
  expect_same(blocked.sx, direct.sx, "sums x");
  expect_same(blocked.sy, direct.sy, "sums y");
  expect_same(blocked.qx, direct.qx, "squares x");
  expect_same(blocked.qy, direct.qy, "squares y");
}

TEST(PairAccumulator, WithoutMissingValuesMatchesThePlainAccumulation) {
  check(1, 5, 0.0, 1);
  check(7, 300, 0.0, 2);
  check(130, 700, 0.0, 3);
}

TEST(PairAccumulator, WithMissingValuesMatchesThePlainAccumulation) {
  check(3, 40, 0.2, 4);
  check(40, 1000, 0.01, 5);   // variables start missing at scattered objects
  check(90, 600, 0.3, 6);     // nearly every variable misses early
  check(600, 30, 0.001, 7);   // few rows, small blocks
}

// With a pool, blocks are added while the next one is gathered and the pairs
// are split among the threads; every sum must still be the plain one.
TEST(PairAccumulator, OnAPoolOfOneToFourThreadsMatchesThePlainAccumulation) {
  struct Case {
    std::int32_t p, n;
    double missing_rate;
  };
  const Case cases[] = {
      {1, 5, 0.0},      // fewer pairs than threads
      {3, 40, 0.2},     // tiny blocks of work
      {130, 1500, 0.0}, // several full blocks
      {130, 1500, 0.01},
      {90, 600, 0.3},   // nearly every variable misses early
      {600, 300, 0.001},
  };
  for (std::size_t threads = 1; threads <= 4; ++threads) {
    unsigned seed = 100;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << threads << " threads, p = " << c.p << ", n = " << c.n
                                      << ", missing " << c.missing_rate);
      check(c.p, c.n, c.missing_rate, ++seed, threads);
    }
  }
}

}  // namespace
}  // namespace orthaxis::analysis
