// Pairwise accumulation of the data pass: objects per second and pair
// updates per second for p = 100, 300, 1000, without and with missing values.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "analysis/packed.h"
#include "analysis/statistics.h"

namespace {

using orthaxis::analysis::PairAccumulator;
using orthaxis::analysis::PairSums;

void BM_PairAccumulation(benchmark::State& state) {
  const auto p = static_cast<std::int32_t>(state.range(0));
  const auto n = static_cast<std::int32_t>(state.range(1));
  const double missing_rate = static_cast<double>(state.range(2)) / 1000.0;
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> value(0.0f, 50.0f);
  std::bernoulli_distribution missing(missing_rate);
  std::vector<float> rows(static_cast<std::size_t>(n) * static_cast<std::size_t>(p));
  for (auto& x : rows) x = missing(rng) ? -1.0f : value(rng);
  const std::size_t len = orthaxis::analysis::packed_length(static_cast<std::size_t>(p));
  std::vector<float> a(len), count(len), sx(len), sy(len), qx(len), qy(len);
  for (auto _ : state) {
    PairAccumulator acc(p, n, PairSums{a, count, sx, sy, qx, qy});
    for (std::int32_t i = 0; i < n; ++i)
      acc.add(std::span<const float>(rows.data() + static_cast<std::size_t>(i) * p,
                                     static_cast<std::size_t>(p)));
    acc.finish();
    benchmark::DoNotOptimize(a.data());
  }
  state.counters["objects/s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["pairs/s"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(len),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_PairAccumulation)
    ->Args({100, 20000, 0})
    ->Args({300, 5000, 0})
    ->Args({1000, 1000, 0})
    ->Args({300, 5000, 10})
    ->Args({1000, 1000, 10})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
