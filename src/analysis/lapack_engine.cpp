#include "analysis/lapack_engine.h"

#include <dlfcn.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "analysis/packed.h"

namespace orthaxis::analysis {

namespace {

// The Fortran routines, with the hidden lengths of their character arguments.
using Dsyevd = void(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                    double* w, double* work, const int* lwork, int* iwork, const int* liwork,
                    int* info, std::size_t, std::size_t);
using Dgemm = void(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                   const double* alpha, const double* a, const int* lda, const double* b,
                   const int* ldb, const double* beta, double* c, const int* ldc, std::size_t,
                   std::size_t);
using SetThreads = void(int);
using GetThreads = int();

struct Library {
  Dsyevd* dsyevd = nullptr;
  Dgemm* dgemm = nullptr;
  std::string failure;  // empty once loaded
};

Library load() {
  Library lib;
  // A library that runs threads of its own reads this when it is loaded and
  // then starts none; the one that sets its count later is told so below.
  setenv("OPENBLAS_NUM_THREADS", "1", 1);
  setenv("OMP_NUM_THREADS", "1", 1);
  void* h = dlopen(kLapackLibrary, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    lib.failure = std::string("--engine lapack needs ") + kLapackLibrary +
                  ", which cannot be loaded (install liblapack3)";
    return lib;
  }
  lib.dsyevd = reinterpret_cast<Dsyevd*>(dlsym(h, "dsyevd_"));
  lib.dgemm = reinterpret_cast<Dgemm*>(dlsym(h, "dgemm_"));
  if (lib.dsyevd == nullptr || lib.dgemm == nullptr) {
    lib.failure = std::string(kLapackLibrary) + " lacks dsyevd_ or dgemm_";
    return lib;
  }
  if (auto* set = reinterpret_cast<SetThreads*>(dlsym(h, "openblas_set_num_threads"))) set(1);
  if (auto* get = reinterpret_cast<GetThreads*>(dlsym(h, "openblas_get_num_threads"));
      get != nullptr && get() != 1) {
    lib.failure = std::string(kLapackLibrary) + " does not run on one thread";
    return lib;
  }
  return lib;
}

const Library& library() {
  static const Library lib = load();
  return lib;
}

const Library& loaded() {
  const Library& lib = library();
  if (!lib.failure.empty()) throw LapackUnavailable(lib.failure);
  return lib;
}

int fortran_size(std::size_t v) {
  if (v > static_cast<std::size_t>(INT_MAX))
    throw LapackUnavailable("the eigenanalysis is too large for the library's 32-bit sizes");
  return static_cast<int>(v);
}

// The workspace of divide and conquer with vectors for an m x m matrix:
// doubles and integers.
constexpr std::size_t dsyevd_work(std::size_t m) { return 1 + 6 * m + 2 * m * m; }
constexpr std::size_t dsyevd_iwork(std::size_t m) { return 3 + 5 * m; }

// Diagonalises the full m x m matrix `a` (lower triangle used) in place:
// eigenvalues ascending into w, eigenvectors over a.
void symmetric_eigen(std::size_t m, std::vector<double>& a, std::vector<double>& w) {
  const Library& lib = loaded();
  const int n = fortran_size(m);
  const int lda = std::max(n, 1);
  const int lwork = fortran_size(dsyevd_work(m));
  const int liwork = fortran_size(dsyevd_iwork(m));
  std::vector<double> work(static_cast<std::size_t>(lwork));
  std::vector<int> iwork(static_cast<std::size_t>(liwork));
  w.assign(m, 0.0);
  int info = 0;
  lib.dsyevd("V", "L", &n, a.data(), &lda, w.data(), work.data(), &lwork, iwork.data(), &liwork,
             &info, 1, 1);
  if (info != 0)
    throw std::runtime_error("the library's eigenanalysis failed (dsyevd info " +
                             std::to_string(info) + ")");
}

// Rows of a product in tiles of this many: the tiles depend on the sizes
// only, never on the threads that compute them.
constexpr std::size_t kTile = 256;

}  // namespace

void load_lapack() { loaded(); }

bool lapack_loadable() { return library().failure.empty(); }

std::size_t lapack_packed_bytes(std::int32_t p32) {
  const std::size_t p = static_cast<std::size_t>(p32);
  // The matrix and its eigenvectors in double, the workspace.
  return sizeof(double) * (p * p + dsyevd_work(p) + p) + sizeof(int) * dsyevd_iwork(p);
}

std::size_t lapack_rows_bytes(std::int32_t n32, std::int32_t p32) {
  const std::size_t n = static_cast<std::size_t>(n32);
  const std::size_t p = static_cast<std::size_t>(p32);
  // Z, Z Z^T with the workspace, and one tile of vectors per thread (two).
  return sizeof(double) * (n * p + n * n + dsyevd_work(n) + n + 2 * kTile * n) +
         sizeof(int) * dsyevd_iwork(n);
}

void orient_vectors(std::size_t p, std::size_t columns, std::span<float> v) {
  for (std::size_t k = 0; k < columns; ++k) {
    float* c = v.data() + k * p;
    std::size_t top = 0;
    for (std::size_t i = 1; i < p; ++i)
      if (std::fabs(c[i]) > std::fabs(c[top])) top = i;
    if (p > 0 && c[top] < 0.0f)
      for (std::size_t i = 0; i < p; ++i) c[i] = -c[i];
  }
}

LapackEigen lapack_packed(std::int32_t p32, std::span<const float> a) {
  const std::size_t p = static_cast<std::size_t>(p32);
  std::vector<double> full(p * p, 0.0);
  for (std::size_t r = 1; r <= p; ++r)
    for (std::size_t c = 1; c <= r; ++c)
      full[(c - 1) * p + (r - 1)] = static_cast<double>(a[packed_index(r, c)]);
  std::vector<double> w;
  symmetric_eigen(p, full, w);
  LapackEigen e;
  e.values.resize(p);
  e.vectors.resize(p * p);
  for (std::size_t k = 0; k < p; ++k) {
    const std::size_t from = p - 1 - k;  // ascending to non-increasing
    e.values[k] = static_cast<float>(w[from]);
    for (std::size_t i = 0; i < p; ++i)
      e.vectors[k * p + i] = static_cast<float>(full[from * p + i]);
  }
  orient_vectors(p, p, e.vectors);
  return e;
}

LapackEigen lapack_rows(std::int32_t n32, std::int32_t p32, std::span<const double> zt,
                        WorkerPool* pool) {
  const Library& lib = loaded();
  const std::size_t n = static_cast<std::size_t>(n32);
  const std::size_t p = static_cast<std::size_t>(p32);
  const int ip = fortran_size(p), in = fortran_size(n);
  const double one = 1.0, zero = 0.0;
  auto run = [pool](std::size_t parts, const std::function<void(std::size_t)>& task) {
    if (pool != nullptr) {
      pool->run(parts, task);
    } else {
      for (std::size_t t = 0; t < parts; ++t) task(t);
    }
  };
  // G = Z Z^T, lower triangle, in tiles (I, J), I >= J.
  std::vector<double> g(n * n, 0.0);
  const std::size_t tiles = (n + kTile - 1) / kTile;
  std::vector<std::pair<std::size_t, std::size_t>> lower;
  for (std::size_t j = 0; j < tiles; ++j)
    for (std::size_t i = j; i < tiles; ++i) lower.emplace_back(i, j);
  run(lower.size(), [&](std::size_t t) {
    const std::size_t i0 = lower[t].first * kTile, j0 = lower[t].second * kTile;
    const int bi = static_cast<int>(std::min(kTile, n - i0));
    const int bj = static_cast<int>(std::min(kTile, n - j0));
    lib.dgemm("T", "N", &bi, &bj, &ip, &one, zt.data() + i0 * p, &ip, zt.data() + j0 * p, &ip,
              &zero, g.data() + j0 * n + i0, &in, 1, 1);
  });
  std::vector<double> w;
  symmetric_eigen(n, g, w);
  // Non-increasing order; below the rank tolerance an eigenvalue is zero.
  const double largest = n > 0 ? std::max(w[n - 1], 0.0) : 0.0;
  const double tolerance = static_cast<double>(std::max(n, p)) * DBL_EPSILON * largest;
  LapackEigen e;
  e.values.assign(p, 0.0f);
  std::size_t positive = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double value = w[n - 1 - k];
    if (std::fabs(value) <= tolerance) continue;
    e.values[k] = static_cast<float>(value);
    if (value > 0.0 && e.values[k] > 0.0f) positive = k + 1;
  }
  // The positive ones lead; anything after them is zero or negative.
  for (std::size_t k = positive; k < p; ++k) e.values[k] = std::min(e.values[k], 0.0f);
  // u scaled by 1 / sqrt(lambda), non-increasing order, n x positive.
  UnsetVector<double> u(n * positive);
  for (std::size_t k = 0; k < positive; ++k) {
    const double* from = g.data() + (n - 1 - k) * n;
    const double scale = 1.0 / std::sqrt(w[n - 1 - k]);
    for (std::size_t i = 0; i < n; ++i) u[k * n + i] = from[i] * scale;
  }
  g = {};
  // V = Z^T U in tiles of variables.
  e.vectors.resize(p * positive);
  const int cols = static_cast<int>(positive);
  const std::size_t row_tiles = (p + 4 * kTile - 1) / (4 * kTile);
  if (positive > 0) {
    run(row_tiles, [&](std::size_t t) {
      const std::size_t r0 = t * 4 * kTile;
      const int rows = static_cast<int>(std::min(4 * kTile, p - r0));
      UnsetVector<double> tile(static_cast<std::size_t>(rows) * positive);
      // Z^T (p x n) is zt read as p x n column-major: its rows r0.. are zt + r0.
      lib.dgemm("N", "N", &rows, &cols, &in, &one, zt.data() + r0, &ip, u.data(), &in, &zero,
                tile.data(), &rows, 1, 1);
      for (std::size_t k = 0; k < positive; ++k)
        for (std::size_t i = 0; i < static_cast<std::size_t>(rows); ++i)
          e.vectors[k * p + r0 + i] = static_cast<float>(tile[k * static_cast<std::size_t>(rows) + i]);
    });
  }
  orient_vectors(p, positive, e.vectors);
  return e;
}

}  // namespace orthaxis::analysis
