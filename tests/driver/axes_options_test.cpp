// --axes-test [N] and --seed S on the command line.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "driver/options.h"

namespace orthaxis::driver {
namespace {

TEST(AxesTestOptions, CountIsOptionalAndSeedHasADefault) {
  struct Case {
    std::vector<std::string_view> args;
    std::int32_t replicates;
    std::uint64_t seed;
    std::string_view dir;
  };
  const Case cases[] = {
      {{"--axes-test"}, 199, 12345, ""},
      {{"--axes-test", "50"}, 50, 12345, ""},
      {{"--axes-test=7", "--seed", "0"}, 7, 0, ""},
      {{"--axes-test", "work"}, 199, 12345, "work"},
      {{"--axes-test", "--", "123"}, 199, 12345, "123"},
      {{"--seed=18446744073709551615", "--axes-test", "9", "w"}, 9, 18446744073709551615ull, "w"},
      {{"--csv"}, 0, 12345, ""},
  };
  for (const Case& c : cases) {
    const Options o = parse_options(c.args);
    EXPECT_EQ(o.axes_test, c.replicates) << c.args[0];
    EXPECT_EQ(o.seed, c.seed) << c.args[0];
    EXPECT_EQ(o.dir, c.dir) << c.args[0];
  }
}

TEST(AxesTestOptions, RefusedForms) {
  const std::vector<std::vector<std::string_view>> refused = {
      {"--axes-test=0"},      {"--axes-test=x"},  {"--axes-test", "--seed", "-1"},
      {"--axes-test", "--seed", "18446744073709551616"}, {"--axes-test", "--seed"},
      {"--seed", "5"},
  };
  for (const auto& args : refused) EXPECT_THROW(parse_options(args), UsageError) << args.back();
}

}  // namespace
}  // namespace orthaxis::driver
