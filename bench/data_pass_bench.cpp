// Pairwise accumulation of the data pass: objects per second and pair
// updates per second for p = 100, 300, 1000, without and with missing values.
// BM_ReadAndDataPass: the whole data pass as the program runs it (free-format
// reading, scratch file, variable sums, pair sums) on a 100,000 x 100 data
// file, in MB/s of data file, on 1 and 2 threads.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/packed.h"
#include "analysis/statistics.h"
#include "analysis/worker_pool.h"
#include "input/data_matrix.h"
#include "input/row_reader.h"
#include "input/scratch_file.h"
#include "textio/record_file.h"

#include "rates.h"

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

// A data file of n rows of p values with three decimals, as data files hold
// them; written once.
struct DataFile {
  std::string path;
  std::uintmax_t bytes = 0;
  std::int32_t n, p;
  DataFile(std::int32_t rows, std::int32_t columns) : n(rows), p(columns) {
    path = (std::filesystem::temp_directory_path() / "orthaxis_data_pass_bench.dat").string();
    std::mt19937_64 rng(7);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "Benchmark table\n%d %d\n", n, p);
    for (std::int32_t i = 0; i < n; ++i) {
      for (std::int32_t j = 0; j < p; ++j)
        std::fprintf(f, " %u.%03u", static_cast<unsigned>(10 + rng() % 40),
                     static_cast<unsigned>(rng() % 1000));
      std::fputc('\n', f);
    }
    std::fclose(f);
    bytes = std::filesystem::file_size(path);
  }
  ~DataFile() { std::filesystem::remove(path); }
};

void BM_ReadAndDataPass(benchmark::State& state) {
  static DataFile file(100000, 100);
  const std::size_t threads = static_cast<std::size_t>(state.range(0));
  const std::size_t p = static_cast<std::size_t>(file.p);
  const std::size_t n = static_cast<std::size_t>(file.n);
  const std::size_t len = orthaxis::analysis::packed_length(p);
  std::vector<float> a(len), count(len), sx(len), sy(len), qx(len), qy(len);
  std::vector<float> sum(p), variable_count(p), object_ssq(n), row_total(n), row(p);
  const std::string scratch =
      (std::filesystem::temp_directory_path() / "orthaxis_data_pass_bench.tmp").string();
  orthaxis::analysis::WorkerPool pool(threads);
  for (auto _ : state) {
    orthaxis::textio::RecordFile data(1, file.path, orthaxis::textio::RecordFile::Open::kExisting);
    orthaxis::input::ScratchFile file_out(scratch);
    orthaxis::input::ScratchWriteBehind out(file_out, p, &pool);
    orthaxis::input::read_heading(data);
    orthaxis::analysis::VariableSums v{sum, variable_count, object_ssq, row_total, 0.0f};
    orthaxis::analysis::start_variable_sums(v, file.n);
    PairAccumulator pairs(file.p, file.n, PairSums{a, count, sx, sy, qx, qy}, &pool, &v);
    orthaxis::input::RowReader rows(data, p, n, &pool);
    for (std::size_t i = 0; i < n; ++i) {
      const std::span<const float> x = rows.next(row).values;
      out.write_row(x);
      pairs.add(x);
    }
    out.settle();
    pairs.finish();
    file_out.close_and_delete();
    benchmark::DoNotOptimize(a.data());
  }
  set_bytes_processed(state, file.bytes);
}

BENCHMARK(BM_ReadAndDataPass)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
