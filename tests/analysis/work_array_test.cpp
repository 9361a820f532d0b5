#include "analysis/work_array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <fstream>

#include "driver/data_phase.h"

namespace orthaxis::analysis {
namespace {

[[maybe_unused]] std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * 4096;
}

// The run's work arrays for p = 4,000 (about 260 MB) take their pages only
// as the steps write them; the sanitizer build fills them with NaN instead.
TEST(UnsetVector, TheWorkArraysAreNotTouchedUntilTheyAreWritten) {
#ifdef ORTHAXIS_POISON_UNSET
  const WorkArray unset(2);
  EXPECT_TRUE(std::isnan(unset[0]) && std::isnan(unset[1]));
#elif !defined(__SANITIZE_ADDRESS__)
  const std::size_t before = resident_bytes();
  driver::WorkStorage w = driver::allocate_work(50, 4000, 2, 0);
  ASSERT_EQ(w.vectors.size(), std::size_t{4000} * 4000);
  EXPECT_LT(resident_bytes(), before + (std::size_t{16} << 20));
#endif
}

}  // namespace
}  // namespace orthaxis::analysis
