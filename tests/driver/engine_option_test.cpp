// --engine chooses the eigen engine; the Jacobi method without it.

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "driver/options.h"

namespace orthaxis::driver {
namespace {

TEST(EngineOption, ChoosesTheEngine) {
  using Args = std::vector<std::string_view>;
  for (const auto& [args, engine] : {std::pair{Args{}, Engine::kJacobi},
                                     {Args{"--engine", "jacobi"}, Engine::kJacobi},
                                     {Args{"--engine", "lapack"}, Engine::kLapack},
                                     {Args{"--engine=lapack", "dir"}, Engine::kLapack}})
    EXPECT_EQ(parse_options(args).engine, engine);
  for (const Args& bad : {Args{"--engine"}, Args{"--engine", "LAPACK"}, Args{"--engine="}})
    EXPECT_THROW(parse_options(bad), UsageError);
}

}  // namespace
}  // namespace orthaxis::driver
