// Eigenanalysis of correlation matrices of random correlated data: the
// cyclic threshold Jacobi routine beside LAPACK's ssyevd (divide and conquer,
// eigenvectors wanted) on the same matrix. Run with OPENBLAS_NUM_THREADS=1;
// the benchmark also asks OpenBLAS for one thread when it is linked. Rates
// are per second of processor time, which stays meaningful on a busy machine;
// even so, a run at p = 1000 varies by 10% or more on a shared machine, so
// compare the best of several (--benchmark_repetitions=8).
//
// BM_JacobiOverSsyevd runs the two back to back, iteration by iteration, and
// reports the quartiles of the ratio of their times: neighbours on a shared
// host slow both runs of a pair alike, so the ratio is steadier than the
// times measured apart.

#include <benchmark/benchmark.h>

#include <chrono>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <vector>

#include "analysis/jacobi.h"
#include "analysis/worker_pool.h"
#include "driver/eigen_progress.h"
#include "textio/console.h"

#ifdef ORTHAXIS_HAVE_LAPACK
extern "C" {
void ssyevd_(const char* jobz, const char* uplo, const int* n, float* a, const int* lda, float* w,
             float* work, const int* lwork, int* iwork, const int* liwork, int* info);
void openblas_set_num_threads(int) __attribute__((weak));
}
#endif

namespace {

// Correlation matrix (full, row-major, double) of 2p observations of p
// variables that load on a few common factors plus noise.
const std::vector<double>& correlation(int p) {
  static std::map<int, std::vector<double>> cache;
  auto it = cache.find(p);
  if (it != cache.end()) return it->second;
  std::mt19937 rng(12345u + static_cast<unsigned>(p));
  std::normal_distribution<double> g;
  const int n = 2 * p;
  const int factors = 5;
  std::vector<double> load(static_cast<std::size_t>(p) * factors);
  for (double& v : load) v = g(rng);
  std::vector<double> x(static_cast<std::size_t>(n) * p);
  for (int k = 0; k < n; ++k) {
    double f[factors];
    for (double& v : f) v = g(rng);
    for (int j = 0; j < p; ++j) {
      double v = g(rng);
      for (int q = 0; q < factors; ++q) {
        v += load[static_cast<std::size_t>(j) * factors + q] * f[q];
      }
      x[static_cast<std::size_t>(k) * p + j] = v;
    }
  }
  for (int j = 0; j < p; ++j) {
    double mean = 0;
    for (int k = 0; k < n; ++k) mean += x[static_cast<std::size_t>(k) * p + j];
    mean /= n;
    for (int k = 0; k < n; ++k) x[static_cast<std::size_t>(k) * p + j] -= mean;
  }
  std::vector<double> c(static_cast<std::size_t>(p) * p, 0.0);
  for (int k = 0; k < n; ++k) {
    const double* row = &x[static_cast<std::size_t>(k) * p];
    for (int i = 0; i < p; ++i) {
      double* ci = &c[static_cast<std::size_t>(i) * p];
      for (int j = 0; j <= i; ++j) ci[j] += row[i] * row[j];
    }
  }
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < i; ++j)
      c[static_cast<std::size_t>(i) * p + j] /=
          std::sqrt(c[static_cast<std::size_t>(i) * p + i] * c[static_cast<std::size_t>(j) * p + j]);
  for (int i = 0; i < p; ++i) {
    c[static_cast<std::size_t>(i) * p + i] = 1.0;
    for (int j = 0; j < i; ++j)
      c[static_cast<std::size_t>(j) * p + i] = c[static_cast<std::size_t>(i) * p + j];
  }
  return cache.emplace(p, std::move(c)).first->second;
}

std::vector<float> packed(int p) {
  const std::vector<double>& c = correlation(p);
  std::vector<float> a(static_cast<std::size_t>(p) * (p + 1) / 2);
  std::size_t k = 0;
  for (int r = 0; r < p; ++r)
    for (int col = 0; col <= r; ++col) {
      a[k++] = static_cast<float>(c[static_cast<std::size_t>(r) * p + col]);
    }
  return a;
}

// One run of the routine on a copy of the input; the progress lines go to sink.
std::int64_t run_jacobi(int p, const std::vector<float>& input, std::vector<float>& a,
                        std::vector<float>& e, std::FILE* sink,
                        orthaxis::analysis::detail::Kernels widest,
                        orthaxis::analysis::WorkerPool* pool = nullptr) {
  a = input;
  orthaxis::textio::Console console(sink);
  orthaxis::driver::EigenProgress lines(console);
  return orthaxis::analysis::detail::jacobi_counting(p, a, e, &lines, widest, pool).rotations;
}

// range(1): widest kernels allowed (detail::Kernels), so that the gain of
// each vector width can be seen on one machine.
void BM_Jacobi(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const auto widest = static_cast<orthaxis::analysis::detail::Kernels>(state.range(1));
  const std::vector<float> input = packed(p);
  std::vector<float> a;
  std::vector<float> e(static_cast<std::size_t>(p) * p);
  std::FILE* sink = std::fopen("/dev/null", "w");
  std::int64_t rotations = 0;
  for (auto _ : state) {
    rotations += run_jacobi(p, input, a, e, sink, widest);
    benchmark::DoNotOptimize(e.data());
  }
  std::fclose(sink);
  state.counters["rotations"] =
      benchmark::Counter(static_cast<double>(rotations), benchmark::Counter::kAvgIterations);
  state.counters["rotations/s"] =
      benchmark::Counter(static_cast<double>(rotations), benchmark::Counter::kIsRate);
}
constexpr auto kWidest = static_cast<std::int64_t>(orthaxis::analysis::detail::Kernels::kAvx512);
constexpr auto kAvx2 = static_cast<std::int64_t>(orthaxis::analysis::detail::Kernels::kAvx2);
BENCHMARK(BM_Jacobi)
    ->ArgNames({"p", "kernels"})
    ->Args({100, kWidest})
    ->Args({300, kWidest})
    ->Args({1000, kWidest})
    ->Args({1000, kAvx2})
    ->Unit(benchmark::kSecond);

// The routine with a pool of range(1) threads, wall-clock time.
void BM_JacobiThreads(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  orthaxis::analysis::WorkerPool pool(static_cast<std::size_t>(state.range(1)));
  const std::vector<float> input = packed(p);
  std::vector<float> a;
  std::vector<float> e(static_cast<std::size_t>(p) * p);
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    run_jacobi(p, input, a, e, sink, orthaxis::analysis::detail::Kernels::kAvx512, &pool);
    benchmark::DoNotOptimize(e.data());
  }
  std::fclose(sink);
}
BENCHMARK(BM_JacobiThreads)
    ->ArgNames({"p", "threads"})
    ->Args({100, 2})
    ->Args({300, 2})
    ->Args({1000, 2})
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

#ifdef ORTHAXIS_HAVE_LAPACK
// ssyevd with its work arrays, on `threads` threads.
class Ssyevd {
 public:
  explicit Ssyevd(int p, int threads = 1)
      : p_(p), full_(static_cast<std::size_t>(p) * p), w_(static_cast<std::size_t>(p)) {
    if (openblas_set_num_threads != nullptr) openblas_set_num_threads(threads);
    int lwork = -1, liwork = -1, info = 0;
    float work_size = 0;
    int iwork_size = 0;
    ssyevd_(&kJobz, &kUplo, &p_, full_.data(), &p_, w_.data(), &work_size, &lwork, &iwork_size,
            &liwork, &info);
    work_.resize(static_cast<std::size_t>(work_size));
    iwork_.resize(static_cast<std::size_t>(iwork_size));
  }

  // Eigenanalysis of the packed lower triangle; false when ssyevd fails.
  bool run(const std::vector<float>& packed_input) {
    // Lower triangle, column-major: element (r, c), r >= c, at c * p + r.
    std::size_t k = 0;
    for (int r = 0; r < p_; ++r)
      for (int c = 0; c <= r; ++c) full_[static_cast<std::size_t>(c) * p_ + r] = packed_input[k++];
    const int lwork = static_cast<int>(work_.size());
    const int liwork = static_cast<int>(iwork_.size());
    int info = 0;
    ssyevd_(&kJobz, &kUplo, &p_, full_.data(), &p_, w_.data(), work_.data(), &lwork, iwork_.data(),
            &liwork, &info);
    benchmark::DoNotOptimize(full_.data());
    return info == 0;
  }

 private:
  static constexpr char kJobz = 'V';
  static constexpr char kUplo = 'L';
  int p_;
  std::vector<float> full_, w_, work_;
  std::vector<int> iwork_;
};

void BM_Ssyevd(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const std::vector<float> input = packed(p);
  Ssyevd solver(p);
  for (auto _ : state) {
    if (!solver.run(input)) state.SkipWithError("ssyevd failed");
  }
}
BENCHMARK(BM_Ssyevd)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kSecond);

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double wall_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Per iteration: one Jacobi run, then the best of three ssyevd runs on the
// same matrix, both timed by `clock`; the counters are the quartiles of the
// ratio of the two times. `pool` (when given) is the routine's threads, and
// ssyevd gets as many.
void pair_with_ssyevd(benchmark::State& state, double (*clock)(),
                      orthaxis::analysis::WorkerPool* pool) {
  const int p = static_cast<int>(state.range(0));
  const std::vector<float> input = packed(p);
  Ssyevd solver(p, pool != nullptr ? static_cast<int>(pool->size()) : 1);
  std::vector<float> a;
  std::vector<float> e(static_cast<std::size_t>(p) * p);
  std::FILE* sink = std::fopen("/dev/null", "w");
  std::vector<double> ratios, jacobi_times, ssyevd_times;
  for (auto _ : state) {
    double t0 = clock();
    run_jacobi(p, input, a, e, sink, orthaxis::analysis::detail::Kernels::kAvx512, pool);
    const double jacobi = clock() - t0;
    double best = 0;
    for (int k = 0; k < 3; ++k) {
      t0 = clock();
      if (!solver.run(input)) state.SkipWithError("ssyevd failed");
      const double t = clock() - t0;
      if (k == 0 || t < best) best = t;
    }
    ratios.push_back(jacobi / best);
    jacobi_times.push_back(jacobi);
    ssyevd_times.push_back(best);
  }
  std::fclose(sink);
  std::sort(ratios.begin(), ratios.end());
  const std::size_t n = ratios.size();
  state.counters["ratio_min"] = ratios[0];
  state.counters["ratio_q1"] = ratios[n / 4];
  state.counters["ratio_median"] = ratios[n / 2];
  state.counters["ratio_q3"] = ratios[3 * n / 4];
  // The medians of the two times: which side of the ratio moved.
  std::sort(jacobi_times.begin(), jacobi_times.end());
  std::sort(ssyevd_times.begin(), ssyevd_times.end());
  state.counters["jacobi_median_s"] = jacobi_times[n / 2];
  state.counters["ssyevd_median_s"] = ssyevd_times[n / 2];
}

// One thread each, processor time.
void BM_JacobiOverSsyevd(benchmark::State& state) {
  pair_with_ssyevd(state, thread_seconds, nullptr);
}
BENCHMARK(BM_JacobiOverSsyevd)->Arg(1000)->Iterations(15)->Unit(benchmark::kSecond);

// The same pairing with `threads` threads for both: the routine's pool and
// OpenBLAS's threads; times are wall-clock times.
void BM_JacobiOverSsyevdThreads(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(1));
  orthaxis::analysis::WorkerPool pool(static_cast<std::size_t>(threads));
  pair_with_ssyevd(state, wall_seconds, &pool);
  if (openblas_set_num_threads != nullptr) openblas_set_num_threads(1);
}
BENCHMARK(BM_JacobiOverSsyevdThreads)
    ->ArgNames({"p", "threads"})
    ->Args({1000, 2})
    ->Iterations(9)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
