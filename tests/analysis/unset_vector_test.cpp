#include "analysis/unset_vector.h"

#include "driver/data_phase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <fstream>

namespace orthaxis::analysis {
namespace {

// Resident bytes of this process.
std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * 4096;
}

// The run's work arrays for p = 4,000 (about 260 MB) take their pages only
// as the steps write them.
TEST(UnsetVector, TheWorkArraysAreNotTouchedUntilTheyAreWritten) {
#if defined(__SANITIZE_ADDRESS__) || defined(ORTHAXIS_POISON_UNSET)
  GTEST_SKIP() << "the sanitizer build's allocator and its NaN fill touch every page";
#else
  const std::size_t before = resident_bytes();
  driver::WorkStorage w = driver::allocate_work(50, 4000, 2, 0);
  ASSERT_EQ(w.vectors.size(), std::size_t{4000} * 4000);
  EXPECT_LT(resident_bytes(), before + (std::size_t{16} << 20));
  w.vectors.back() = 1.0f;
  EXPECT_EQ(w.vectors.back(), 1.0f);
#endif
}

TEST(UnsetVector, ValuesGivenAreWrittenAndUnsetOnesArePoisonedWhereAsked) {
  WorkArray given(3, 2.5f);
  for (float v : given) EXPECT_EQ(v, 2.5f);
  given.assign(2, 0.0f);
  EXPECT_EQ(given, (WorkArray{0.0f, 0.0f}));
  UnsetVector<double> grown{1.0};
  grown.resize(3);
  EXPECT_EQ(grown[0], 1.0);
#ifdef ORTHAXIS_POISON_UNSET
  EXPECT_TRUE(std::isnan(grown[1]) && std::isnan(grown[2]));
#endif
}

}  // namespace
}  // namespace orthaxis::analysis
