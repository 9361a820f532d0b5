// Bytes of input per second, in the two units a reader may expect:
// Google Benchmark's bytes_per_second counts 2^20 bytes to its "M", while
// the "MB" counter is 10^6 bytes per second of wall time (or of CPU time for a
// benchmark that does not use real time).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

inline void set_bytes_processed(benchmark::State& state, std::uint64_t bytes_per_iteration) {
  const double total = static_cast<double>(state.iterations()) *
                       static_cast<double>(bytes_per_iteration);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}
