// Cross-product sums over a pass of rows, a block at a time and split among
// threads, give bit for bit the sums of the plain row-by-row accumulation,
// signed values included (the correspondence residuals are of both signs).

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "analysis/cross_products.h"
#include "analysis/packed.h"

namespace orthaxis::analysis {
namespace {

TEST(CrossProductPass, MatchesThePlainSumsForEveryThreadCountAndShape) {
  struct Case {
    std::size_t p, n;
  };
  // One variable; tails of every length; more rows than a block; rows
  // not a multiple of four.
  const Case cases[] = {{1, 9}, {3, 700}, {13, 1000}, {64, 2100}, {130, 900}};
  for (const Case& c : cases) {
    std::mt19937 rng(static_cast<unsigned>(c.p * 7 + c.n));
    std::normal_distribution<float> value(0.0f, 3.0f);
    std::vector<float> rows(c.p * c.n);
    for (float& x : rows) x = value(rng);
    std::vector<float> plain(packed_length(c.p), 0.0f);
    for (std::size_t b = 0; b < c.n; ++b) {
      const float* z = rows.data() + b * c.p;
      for (std::size_t j = 1; j <= c.p; ++j)
        for (std::size_t i = 1; i <= j; ++i) plain[packed_index(j, i)] += z[i - 1] * z[j - 1];
    }
    for (std::size_t threads = 0; threads <= 3; ++threads) {
      WorkerPool pool(threads == 0 ? 1 : threads);
      CrossProductPass pass(c.p, threads == 0 ? nullptr : &pool);
      for (std::size_t b = 0; b < c.n; ++b) {
        const std::span<float> row = pass.next_row();
        std::memcpy(row.data(), rows.data() + b * c.p, c.p * sizeof(float));
        pass.row_done();
      }
      std::vector<float> got(packed_length(c.p), -1.0f);
      pass.finish(got);
      EXPECT_EQ(std::memcmp(got.data(), plain.data(), got.size() * sizeof(float)), 0)
          << "p " << c.p << ", n " << c.n << ", " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace orthaxis::analysis
