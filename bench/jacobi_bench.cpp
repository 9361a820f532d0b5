// Eigenanalysis of correlation matrices of random correlated data: the
// cyclic threshold Jacobi routine beside LAPACK's ssyevd (divide and conquer,
// eigenvectors wanted) on the same matrix. Run with OPENBLAS_NUM_THREADS=1;
// the benchmark also asks OpenBLAS for one thread when it is linked. Rates
// are per second of processor time, which stays meaningful on a busy machine;
// even so, a run at p = 1000 varies by 10% or more on a shared machine, so
// compare the best of several (--benchmark_repetitions=8).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "analysis/jacobi.h"
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
    a = input;
    orthaxis::textio::Console console(sink);
    rotations += orthaxis::analysis::detail::jacobi_counting(p, a, e, console, widest);
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

#ifdef ORTHAXIS_HAVE_LAPACK
void BM_Ssyevd(benchmark::State& state) {
  if (openblas_set_num_threads != nullptr) openblas_set_num_threads(1);
  const int p = static_cast<int>(state.range(0));
  const std::vector<float> input = packed(p);
  std::vector<float> full(static_cast<std::size_t>(p) * p);
  std::vector<float> w(static_cast<std::size_t>(p));
  const char jobz = 'V', uplo = 'L';
  int lwork = -1, liwork = -1, info = 0;
  float work_size = 0;
  int iwork_size = 0;
  ssyevd_(&jobz, &uplo, &p, full.data(), &p, w.data(), &work_size, &lwork, &iwork_size, &liwork,
          &info);
  lwork = static_cast<int>(work_size);
  liwork = iwork_size;
  std::vector<float> work(static_cast<std::size_t>(lwork));
  std::vector<int> iwork(static_cast<std::size_t>(liwork));
  for (auto _ : state) {
    // Lower triangle, column-major: element (r, c), r >= c, at c * p + r.
    std::size_t k = 0;
    for (int r = 0; r < p; ++r)
      for (int c = 0; c <= r; ++c) full[static_cast<std::size_t>(c) * p + r] = input[k++];
    ssyevd_(&jobz, &uplo, &p, full.data(), &p, w.data(), work.data(), &lwork, iwork.data(),
            &liwork, &info);
    if (info != 0) state.SkipWithError("ssyevd failed");
    benchmark::DoNotOptimize(full.data());
  }
}
BENCHMARK(BM_Ssyevd)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kSecond);
#endif

}  // namespace

BENCHMARK_MAIN();
