// Every level of the eigenanalysis' kernel table gives the portable level's
// bits, kernel by kernel, on row counts and ranges that end inside a vector.

#include "analysis/jacobi_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/jacobi.h"
#include "analysis/threshold_schedule.h"

namespace orthaxis::analysis {
namespace {

constexpr std::size_t kN = 150;
constexpr std::size_t kLd = 160;

struct Data {
  std::vector<float> mat = std::vector<float>(kN * kLd);
  std::vector<float> col = std::vector<float>(kN + kColumnPad);
  std::vector<float> e = std::vector<float>(kN * kN);
  bool operator==(const Data& o) const {
    return std::memcmp(mat.data(), o.mat.data(), mat.size() * sizeof(float)) == 0 &&
           std::memcmp(col.data(), o.col.data(), col.size() * sizeof(float)) == 0 &&
           std::memcmp(e.data(), o.e.data(), e.size() * sizeof(float)) == 0;
  }
};

Data random_data(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  Data d;
  for (auto* v : {&d.mat, &d.col, &d.e})
    for (float& x : *v) x = u(rng);
  return d;
}

// `count` rotations of columns base .. base+15, in increasing m.
RotationBlock random_block(std::size_t base, std::size_t count, std::mt19937& rng) {
  RotationBlock b;
  b.base = base;
  std::vector<std::size_t> cols;
  for (std::size_t q = 0; q < kBlock; ++q) cols.push_back(q);
  std::shuffle(cols.begin(), cols.end(), rng);
  cols.resize(count);
  std::sort(cols.begin(), cols.end());
  std::uniform_real_distribution<float> angle(-0.7f, 0.7f);
  for (std::size_t j = 0; j < count; ++j) {
    b.q[j] = cols[j];
    b.m[j] = base + cols[j];
    b.c[j] = std::cos(angle(rng));
    b.s[j] = std::sin(angle(rng));
  }
  b.count = count;
  return b;
}

TEST(JacobiKernels, EveryLevelGivesThePortableBits) {
  const JacobiKernels& plain = jacobi_kernels(detail::Kernels::kPortable);
  std::mt19937 rng(77);
  for (detail::Kernels level : {detail::Kernels::kAvx2, detail::Kernels::kAvx512}) {
    const JacobiKernels& k = jacobi_kernels(level);
    for (std::size_t round = 0; round < 40; ++round) {
      SCOPED_TRACE(testing::Message() << "level " << static_cast<int>(level) << " round " << round);
      const std::size_t base = 16 * (round % 8);
      const RotationBlock b = random_block(base, 1 + round % kBlock, rng);
      const std::size_t from = base + 16 + round % 5, to = kN - round % 19;
      const std::size_t lo = round % 7, hi = b.m[b.count - 1] - round % 3;
      std::vector<ColumnRotation> rot;
      std::uniform_int_distribution<std::uint32_t> column(0, kN - 1);
      for (std::size_t r = 0; r < 3 * round + 1; ++r) {
        const std::uint32_t l = column(rng), m = (l + 1 + column(rng) % (kN - 1)) % kN;
        rot.push_back({l, m, b.c[r % b.count], b.s[r % b.count]});
      }
      const std::size_t r0 = round % 11, r1 = kN - round % 13;

      const Data start = random_data(rng);
      Data want = start, got = start;
      plain.rotate_rows_below(want.mat.data(), kLd, want.col.data(), b, from, to);
      k.rotate_rows_below(got.mat.data(), kLd, got.col.data(), b, from, to);
      plain.rotate_rows_above(want.mat.data(), kLd, want.col.data(), b);
      k.rotate_rows_above(got.mat.data(), kLd, got.col.data(), b);
      plain.rotate_above_range(want.mat.data(), kLd, want.col.data(), b, lo, hi);
      k.rotate_above_range(got.mat.data(), kLd, got.col.data(), b, lo, hi);
      plain.rotate_eigenvector_rows(want.e.data(), kN, r0, r1, rot.data(), rot.size());
      k.rotate_eigenvector_rows(got.e.data(), kN, r0, r1, rot.data(), rot.size());
      ASSERT_TRUE(want == got);
      ASSERT_FALSE(want == start);
    }
  }
}

// The count of steps left agrees with walking the thresholds, at every step.
TEST(ThresholdSchedule, StepsLeftCountTheStepsTheIterationTakes) {
  const struct {
    float norm;
    std::int32_t p;
    std::int64_t steps;
  } cases[] = {
      {1.414f * 0.5f, 2, 21},  // 0.707 / 2^k at or below 0.3535e-6 first at k = 21
      {3.0f, 10, 7},
      {1.0f, 1000, 3},
      {1e-40f, 3, 11},    // subnormal: the final threshold is zero, the last step reaches it
      {INFINITY, 4, 1},   // inf - inf is not a number: one step only
  };
  for (const auto& c : cases) {
    const ThresholdSchedule s = ThresholdSchedule::for_norm(c.norm, c.p);
    std::int64_t steps = 0;
    float t = c.norm;
    do {
      t = s.next(t);
      ++steps;
      EXPECT_EQ(steps + s.steps_left(t), c.steps) << c.norm << " " << c.p;
    } while (!s.last(t) && steps < 10000);
    EXPECT_EQ(steps, c.steps) << c.norm << " " << c.p;
  }
}

}  // namespace
}  // namespace orthaxis::analysis
