// The LAPACK engine's objects' side against its variables' side of the
// same Z^T Z (the whole runs compare it with the Jacobi method), the sign
// rule, and the same bits for every thread count. Skipped when the system's
// LAPACK cannot be loaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/lapack_engine.h"
#include "analysis/packed.h"

namespace orthaxis::analysis {
namespace {

#define REQUIRE_LAPACK() \
  if (!lapack_loadable()) GTEST_SKIP() << kLapackLibrary << " cannot be loaded"

// Z as p x n column by column, and the packed Z^T Z in single precision.
struct Rows {
  std::vector<double> zt;
  std::vector<float> packed;
};
Rows random_rows(int n, int p, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> d;
  Rows r;
  r.zt.resize(static_cast<std::size_t>(n) * p);
  for (auto& z : r.zt) z = d(gen);
  r.packed.resize(packed_length(static_cast<std::size_t>(p)));
  for (int a = 1; a <= p; ++a)
    for (int b = 1; b <= a; ++b) {
      double s = 0.0;
      for (int i = 0; i < n; ++i) s += r.zt[i * p + a - 1] * r.zt[i * p + b - 1];
      r.packed[packed_index(static_cast<std::size_t>(a), static_cast<std::size_t>(b))] =
          static_cast<float>(s);
    }
  return r;
}

TEST(LapackEngine, ObjectsSideAgreesWithVariablesSide) {
  REQUIRE_LAPACK();
  for (const auto& [n, p] : {std::pair{1, 4}, {5, 9}, {20, 70}}) {
    const Rows r = random_rows(n, p, static_cast<unsigned>(n + p));
    const LapackEigen rows = lapack_rows(n, p, r.zt, nullptr);
    const LapackEigen full = lapack_packed(p, r.packed);
    ASSERT_EQ(rows.values.size(), static_cast<std::size_t>(p));
    ASSERT_EQ(rows.vectors.size(), static_cast<std::size_t>(p) * n);  // the rank is n
    const float top = full.values[0];
    for (int k = 0; k < p; ++k) {
      EXPECT_NEAR(rows.values[k], full.values[k], 1e-5 * top);
      if (k >= n) {
        EXPECT_EQ(rows.values[k], 0.0f);  // zero by rank, as reported
      }
    }
    for (int k = 0; k < n; ++k)
      for (int i = 0; i < p; ++i)  // one sign rule for both sides
        EXPECT_NEAR(rows.vectors[k * p + i], full.vectors[k * p + i], 1e-4) << k << "," << i;
  }
}

TEST(LapackEngine, SameBitsForEveryThreadCount) {
  REQUIRE_LAPACK();
  const Rows r = random_rows(300, 700, 7);  // several tiles of both products
  const LapackEigen alone = lapack_rows(300, 700, r.zt, nullptr);
  for (std::size_t threads : {1, 2, 3}) {
    WorkerPool pool(threads);
    const LapackEigen e = lapack_rows(300, 700, r.zt, &pool);
    EXPECT_EQ(e.values, alone.values) << threads;
    EXPECT_EQ(e.vectors, alone.vectors) << threads;
  }
}

TEST(LapackEngine, LargestCoordinateOfEachVectorIsPositive) {
  // Columns: a negative largest coordinate, a tie (the first one rules), a positive one.
  std::vector<float> v = {0.5f, -0.8f, 0.1f, -0.6f, 0.6f, 0.0f, 0.3f, 0.9f, -0.2f};
  orient_vectors(3, 3, v);
  EXPECT_EQ(v, (std::vector<float>{-0.5f, 0.8f, -0.1f, 0.6f, -0.6f, -0.0f, 0.3f, 0.9f, -0.2f}));
}

}  // namespace
}  // namespace orthaxis::analysis
