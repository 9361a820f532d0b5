// The thread count: the option first, then the environment, then the cores
// of the affinity mask; an environment value that is not a count is refused.

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "driver/setup.h"
#include "driver/threads.h"

namespace orthaxis::driver {
namespace {

TEST(ThreadCount, OptionThenEnvironmentThenAvailableCores) {
  EXPECT_EQ(thread_count(3, std::string_view("7")), 3u);
  EXPECT_EQ(thread_count(0, std::string_view("7")), 7u);
  EXPECT_EQ(thread_count(0, std::string_view("1")), 1u);
  EXPECT_EQ(thread_count(0, std::nullopt), available_cores());
  EXPECT_GE(available_cores(), 1u);
  EXPECT_EQ(thread_count(5000, std::nullopt), kMaxThreads);
}

TEST(ThreadCount, AnEnvironmentValueThatIsNotACountIsASetupError) {
  for (std::string_view bad : {"", "0", "-1", "+2", " 2", "2 ", "2.0", "two", "1025",
                               "99999999999999999999999"}) {
    EXPECT_THROW(thread_count(0, bad), SetupError) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace orthaxis::driver
