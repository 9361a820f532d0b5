// Throughput of the free-format reader on a data-file-like text: rows of 50
// blank-separated reals of a few digits each ("12.345 0.5 1234.5 3.2e-3"),
// read one row per read statement, as the data pass reads a data matrix.
//
// The file (200 MB by default; ORTHAXIS_BENCH_MB overrides) is generated once
// in the temporary directory and removed at the end.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "textio/free_format.h"
#include "textio/record_file.h"

#include "rates.h"

namespace {

namespace tio = orthaxis::textio;

constexpr std::size_t kColumns = 50;

// One random real written the way data files hold them, in one of eight
// layouts.
void append_value(std::string& out, std::mt19937_64& rng, unsigned kind) {
  char buf[32];
  unsigned a = static_cast<unsigned>(rng() % 100000);
  int n = 0;
  switch (kind) {
    case 0: n = std::snprintf(buf, sizeof buf, "%u.%03u", a % 100, a % 1000); break;       // 12.345
    case 1: n = std::snprintf(buf, sizeof buf, "0.%u", a % 10); break;                     // 0.5
    case 2: n = std::snprintf(buf, sizeof buf, "%u.%u", a % 10000, a % 10); break;         // 1234.5
    case 3: n = std::snprintf(buf, sizeof buf, "%u.%ue-%u", a % 10, a % 10, a % 5); break; // 3.2e-3
    case 4: n = std::snprintf(buf, sizeof buf, "%u", a % 1000); break;                     // 417
    case 5: n = std::snprintf(buf, sizeof buf, "-%u.%02u", a % 100, a % 100); break;       // -7.25
    case 6: n = std::snprintf(buf, sizeof buf, "%u.%04u", a % 10, a % 10000); break;       // 3.1416
    default: n = std::snprintf(buf, sizeof buf, "%u.%u", a % 1000, a % 100); break;        // 12.34
  }
  out.append(buf, static_cast<std::size_t>(n));
}

// Mixed: every value takes a random layout (hard on branch prediction).
// By column: each column keeps one layout, as a variable measured with a
// fixed number of decimals does in a real data file.
enum class Layouts { kMixed, kByColumn };

struct DataFile {
  std::string path;
  std::uint64_t bytes = 0;
  std::uint64_t rows = 0;

  explicit DataFile(Layouts layouts) {
    std::uint64_t target_mb = 200;
    if (const char* env = std::getenv("ORTHAXIS_BENCH_MB")) target_mb = std::strtoull(env, nullptr, 10);
    path = (std::filesystem::temp_directory_path() /
            (layouts == Layouts::kMixed ? "orthaxis_free_format_bench.txt"
                                        : "orthaxis_free_format_bench_columns.txt"))
               .string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::mt19937_64 rng(42);
    std::string row;
    while (bytes < target_mb << 20) {
      row.clear();
      for (std::size_t c = 0; c < kColumns; ++c) {
        if (c > 0) row += ' ';
        const auto kind = static_cast<unsigned>(layouts == Layouts::kMixed ? rng() % 8 : c % 8);
        append_value(row, rng, kind);
      }
      row += '\n';
      std::fwrite(row.data(), 1, row.size(), f);
      bytes += row.size();
      ++rows;
    }
    std::fclose(f);
  }
  ~DataFile() { std::filesystem::remove(path); }
};

const DataFile& data_file(Layouts layouts = Layouts::kMixed) {
  static DataFile mixed(Layouts::kMixed);
  if (layouts == Layouts::kMixed) return mixed;
  static DataFile by_column(Layouts::kByColumn);
  return by_column;
}

void read_rows(benchmark::State& state, const DataFile& data) {
  std::vector<float> row(kColumns);
  double checksum = 0.0;
  for (auto _ : state) {
    tio::RecordFile file(1, data.path, tio::RecordFile::Open::kExisting);
    for (std::uint64_t r = 0; r < data.rows; ++r) {
      tio::read_reals(file, row);
      checksum += row[0];
    }
    benchmark::DoNotOptimize(checksum);
  }
  set_bytes_processed(state, data.bytes);
  state.counters["rows"] = static_cast<double>(data.rows);
}

void BM_ReadRealsRowByRow(benchmark::State& state) { read_rows(state, data_file()); }
BENCHMARK(BM_ReadRealsRowByRow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadRealsLayoutByColumn(benchmark::State& state) {
  read_rows(state, data_file(Layouts::kByColumn));
}
BENCHMARK(BM_ReadRealsLayoutByColumn)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The record layer alone: splitting the file into records.
void BM_NextRecordOnly(benchmark::State& state) {
  const DataFile& data = data_file();
  std::uint64_t total = 0;
  for (auto _ : state) {
    tio::RecordFile file(1, data.path, tio::RecordFile::Open::kExisting);
    std::string_view rec;
    while (file.next_record(rec)) total += rec.size();
    benchmark::DoNotOptimize(total);
  }
  set_bytes_processed(state, data.bytes);
}
BENCHMARK(BM_NextRecordOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
