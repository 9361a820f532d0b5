// The variables' pass without the pairs gives bit for bit the variable sums
// and the diagonal cross products of the PairAccumulator's pass.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "analysis/packed.h"
#include "analysis/statistics.h"

namespace orthaxis::analysis {
namespace {

TEST(VariableAccumulator, SameSumsCountsAndSquaresAsThePairPass) {
  struct Case {
    std::int32_t p, n;  // one and several blocks; runs of 8 and 16 lanes with a tail
    double missing;
  };
  for (const Case c : {Case{1, 5, 0.0}, Case{9, 1000, 0.2}, Case{37, 3000, 0.05}}) {
    SCOPED_TRACE(c.p);
    const std::size_t p = static_cast<std::size_t>(c.p), len = packed_length(p);
    std::vector<float> a(len), pc(len), sx(len), sy(len), qx(len), qy(len);
    std::vector<float> sum[2], count[2], ssq(static_cast<std::size_t>(c.n)), squares(p);
    for (auto* v : {&sum[0], &sum[1], &count[0], &count[1]}) v->resize(p);
    VariableSums pair_vars{sum[0], count[0], ssq, {}, 0.0f}, vars{sum[1], count[1], {}, {}, 0.0f};
    start_variable_sums(pair_vars, c.n);
    start_variable_sums(vars, c.n);
    PairAccumulator pairs(c.p, c.n, {a, pc, sx, sy, qx, qy}, nullptr, &pair_vars);
    VariableAccumulator variables(c.p, vars, squares);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(0.0f, 1000.0f);
    std::bernoulli_distribution missing(c.missing);
    std::vector<float> row(p);
    for (std::int32_t i = 0; i < c.n; ++i) {
      for (auto& x : row) x = missing(rng) ? -1.0f : value(rng);
      pairs.add(row);
      variables.add(row);
    }
    pairs.finish();
    variables.finish();
    EXPECT_EQ(std::memcmp(sum[0].data(), sum[1].data(), p * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(count[0].data(), count[1].data(), p * sizeof(float)), 0);
    for (std::size_t j = 1; j <= p; ++j)
      EXPECT_EQ(std::memcmp(&a[packed_index(j, j)], &squares[j - 1], sizeof(float)), 0) << j;
  }
}

}  // namespace
}  // namespace orthaxis::analysis
