// Cross-product sums over a pass of rows, a block at a time and split among
// threads, give bit for bit the sums of the plain row-by-row accumulation,
// signed values included (the correspondence residuals are of both signs).

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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

// Rows laid flush against pages that may not be read, before the first row
// and after the last: a read of anything but the rows given faults.
TEST(CrossProductSums, ReadsOnlyTheRowsItIsGiven) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t room = 32 * page;
  void* const map = mmap(nullptr, room + 2 * page, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* const base = static_cast<char*>(map);
  ASSERT_EQ(mprotect(base, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(base + page + room, page, PROT_NONE), 0);
  std::vector<std::size_t> shapes;
  for (std::size_t p = 1; p <= 40; ++p) shapes.push_back(p);
  for (std::size_t p : {63, 64, 65, 129, 130, 300}) shapes.push_back(p);
  for (std::size_t p : shapes) {
    for (std::size_t parts : {1, 3}) {
      CrossProductSums sums(p, parts);
      for (std::size_t rows : {1, 5, 17}) {
        const std::size_t count = rows * sums.stride();
        for (char* at : {base + page, base + page + room - count * sizeof(float)}) {
          float* const values = reinterpret_cast<float*>(at);
          std::fill_n(values, count, 1.0f);
          for (std::size_t k = 0; k + 1 < sums.parts().size(); ++k)
            sums.add(values, rows, sums.parts()[k], sums.parts()[k + 1]);
        }
      }
    }
  }
  munmap(map, room + 2 * page);
}

}  // namespace
}  // namespace orthaxis::analysis
