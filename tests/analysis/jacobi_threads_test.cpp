// The work handed to a pool (eigenvector rotations, rows below the
// iteration, rows above the pivots) gives, for any number of threads, bit for bit what the plain
// statement of the method gives.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/jacobi.h"
#include "analysis/worker_pool.h"
#include "driver/eigen_progress.h"

namespace orthaxis::analysis {
namespace {

TEST(JacobiOnThreads, MatchesThePlainStatementForOneToFourThreads) {
  std::FILE* null = std::fopen("/dev/null", "w");
  ASSERT_NE(null, nullptr);
  // 200: enough rotations that a list of them is handed over mid-way.
  // 390: large enough for the helper threads to rotate rows below the
  // iteration and, leaving out column l's own element, the rows above the
  // pivots; the last block and the last group of rows are partial.
  for (std::int32_t p : {1, 2, 7, 40, 129, 200, 390}) {
    std::mt19937 rng(static_cast<unsigned>(p));
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    const std::size_t len = static_cast<std::size_t>(p) * static_cast<std::size_t>(p + 1) / 2;
    std::vector<float> a0(len);
    for (float& x : a0) x = value(rng);
    std::vector<float> plain_a = a0, plain_e(static_cast<std::size_t>(p) * p);
    textio::Console console(null);
    driver::EigenProgress lines(console);
    if (p == 200) {
      std::vector<float> a = a0, e(plain_e.size());
      // More rotations than one recorded list holds: a list goes to the pool mid-way.
      EXPECT_GT(detail::jacobi_counting(p, a, e, &lines).rotations, 65536);
    }
    ASSERT_EQ(jacobi_directly(p, plain_a, plain_e, &lines), Convergence::kConverged);
    // 6: more helpers than the iteration takes as partners.
    for (std::size_t threads : {1, 2, 3, 4, 6}) {
      WorkerPool pool(threads);
      std::vector<float> a = a0, e(plain_e.size());
      ASSERT_EQ(jacobi(p, a, e, &lines, &pool), Convergence::kConverged);
      EXPECT_EQ(std::memcmp(a.data(), plain_a.data(), len * sizeof(float)), 0)
          << "p = " << p << ", " << threads << " threads: eigenvalues";
      EXPECT_EQ(std::memcmp(e.data(), plain_e.data(), e.size() * sizeof(float)), 0)
          << "p = " << p << ", " << threads << " threads: eigenvectors";
    }
  }
  std::fclose(null);
}

}  // namespace
}  // namespace orthaxis::analysis
