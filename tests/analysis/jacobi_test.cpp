#include "analysis/jacobi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/worker_pool.h"
#include "driver/eigen_progress.h"
#include "textio/console.h"
#include "textio/format.h"

namespace orthaxis::analysis {
namespace {

// Console bytes of one run, through a console writing to a temporary file.
template <typename Run>
std::string console_bytes(Run run) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) std::abort();
  {
    textio::Console console(f);
    run(console);
    console.finish();
  }
  std::rewind(f);
  std::string bytes;
  char buf[4096];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
  std::fclose(f);
  return bytes;
}

std::size_t tri(std::int32_t p) { return static_cast<std::size_t>(p) * (p + 1) / 2; }
std::size_t at(std::size_t r, std::size_t c) {  // 1-based, c <= r
  return r * (r - 1) / 2 + c - 1;
}

struct Result {
  std::vector<float> a;
  std::vector<float> e;
  std::string console;
  Convergence convergence = Convergence::kConverged;
};

Result run_fast(std::int32_t p, std::vector<float> a) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, -7.0f);
  r.console = console_bytes([&](textio::Console& c) {
    driver::EigenProgress lines(c);
    r.convergence = jacobi(p, a, r.e, &lines);
  });
  r.a = std::move(a);
  return r;
}

Result run_with_kernels(std::int32_t p, std::vector<float> a, detail::Kernels widest) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, 5.0f);
  r.console = console_bytes([&](textio::Console& c) {
    driver::EigenProgress lines(c);
    r.convergence = detail::jacobi_counting(p, a, r.e, &lines, widest).convergence;
  });
  r.a = std::move(a);
  return r;
}

Result run_literal(std::int32_t p, std::vector<float> a) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, 3.0f);
  r.console = console_bytes([&](textio::Console& c) {
    driver::EigenProgress lines(c);
    r.convergence = jacobi_directly(p, a, r.e, &lines);
  });
  r.a = std::move(a);
  return r;
}

// Packed lower triangle of a symmetric matrix given as a full row-major double matrix.
std::vector<float> pack(std::int32_t p, const std::vector<double>& full) {
  std::vector<float> a(tri(p));
  for (std::size_t r = 1; r <= static_cast<std::size_t>(p); ++r)
    for (std::size_t c = 1; c <= r; ++c)
      a[at(r, c)] = static_cast<float>(full[(r - 1) * p + (c - 1)]);
  return a;
}

std::vector<float> random_symmetric(std::int32_t p, std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> a(tri(p));
  for (float& v : a) v = u(rng);
  return a;
}

// Correlation matrix of n observations of p variables driven by a few common factors.
std::vector<float> random_correlation(std::int32_t p, std::mt19937& rng) {
  std::normal_distribution<double> g;
  const int n = p + 5 + static_cast<int>(rng() % (2 * p + 10));
  const int factors = 1 + static_cast<int>(rng() % 4);
  std::vector<double> load(static_cast<std::size_t>(p) * factors);
  for (double& v : load) v = g(rng);
  std::vector<double> x(static_cast<std::size_t>(n) * p);
  for (int k = 0; k < n; ++k) {
    std::vector<double> f(factors);
    for (double& v : f) v = g(rng);
    for (int j = 0; j < p; ++j) {
      double v = 0.5 * g(rng);
      for (int q = 0; q < factors; ++q) v += load[j * factors + q] * f[q];
      x[static_cast<std::size_t>(k) * p + j] = v;
    }
  }
  std::vector<double> mean(p, 0.0), full(static_cast<std::size_t>(p) * p, 0.0);
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < p; ++j) mean[j] += x[static_cast<std::size_t>(k) * p + j] / n;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j)
        full[i * p + j] += (x[static_cast<std::size_t>(k) * p + i] - mean[i]) *
                           (x[static_cast<std::size_t>(k) * p + j] - mean[j]);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) full[i * p + j] /= std::sqrt(full[i * p + i] * full[j * p + j]);
  for (int i = 0; i < p; ++i) full[i * p + i] = 1.0;
  return pack(p, full);
}

// Q diag(values) Q' with Q orthogonal and values taken from a short list, so
// that eigenvalues repeat.
std::vector<float> repeated_eigenvalues(std::int32_t p, std::mt19937& rng) {
  std::normal_distribution<double> g;
  std::vector<double> q(static_cast<std::size_t>(p) * p);
  for (double& v : q) v = g(rng);
  for (int j = 0; j < p; ++j) {  // Gram-Schmidt on the columns
    for (int k = 0; k < j; ++k) {
      double d = 0;
      for (int i = 0; i < p; ++i) d += q[i * p + j] * q[i * p + k];
      for (int i = 0; i < p; ++i) q[i * p + j] -= d * q[i * p + k];
    }
    double s = 0;
    for (int i = 0; i < p; ++i) s += q[i * p + j] * q[i * p + j];
    for (int i = 0; i < p; ++i) q[i * p + j] /= std::sqrt(s);
  }
  const double choices[] = {2.0, 2.0, 0.5, 0.0, -1.0};
  std::vector<double> lambda(p);
  for (double& v : lambda) v = choices[rng() % 5];
  std::vector<double> full(static_cast<std::size_t>(p) * p, 0.0);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j)
      for (int k = 0; k < p; ++k) full[i * p + j] += q[i * p + k] * lambda[k] * q[j * p + k];
  return pack(p, full);
}

void expect_identical(std::int32_t p, const std::vector<float>& a, const std::string& what) {
  const Result want = run_literal(p, a);
  const Result got = run_fast(p, a);
  ASSERT_EQ(0, std::memcmp(want.a.data(), got.a.data(), want.a.size() * sizeof(float)))
      << what << " p=" << p << ": packed matrix differs";
  ASSERT_EQ(0, std::memcmp(want.e.data(), got.e.data(), want.e.size() * sizeof(float)))
      << what << " p=" << p << ": eigenvectors differ";
  ASSERT_EQ(want.console, got.console) << what << " p=" << p;
}

TEST(Jacobi, MatchesLiteralMethodBitForBit) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 60; ++round) {
    const std::int32_t p = 1 + static_cast<std::int32_t>(rng() % 120);
    expect_identical(p, random_symmetric(p, rng), "random");
    expect_identical(p, random_correlation(p, rng), "correlation");
    if (p <= 60) expect_identical(p, repeated_eigenvalues(p, rng), "repeated");
  }
  // Larger sizes: several blocks of pivots per pass and many rows below them.
  for (std::int32_t p : {203, 258}) expect_identical(p, random_correlation(p, rng), "large");
}

// The routine picks its widest vector kernels from the processor; the
// narrower ones must give the same bits wherever they run.
TEST(Jacobi, EveryKernelWidthMatchesLiteralMethod) {
  std::mt19937 rng(424242);
  for (std::int32_t p : {7, 16, 45, 131, 203}) {
    for (int kind = 0; kind < 2; ++kind) {
      const std::vector<float> a =
          kind == 0 ? random_symmetric(p, rng) : random_correlation(p, rng);
      const Result want = run_literal(p, a);
      for (detail::Kernels k :
           {detail::Kernels::kPortable, detail::Kernels::kAvx2, detail::Kernels::kAvx512}) {
        const Result got = run_with_kernels(p, a, k);
        const int level = static_cast<int>(k);
        ASSERT_EQ(0, std::memcmp(want.a.data(), got.a.data(), want.a.size() * sizeof(float)))
            << "p=" << p << " kind=" << kind << " kernels=" << level;
        ASSERT_EQ(0, std::memcmp(want.e.data(), got.e.data(), want.e.size() * sizeof(float)))
            << "p=" << p << " kind=" << kind << " kernels=" << level;
        ASSERT_EQ(want.console, got.console) << "p=" << p << " kernels=" << level;
      }
    }
  }
}

TEST(Jacobi, MatchesLiteralMethodOnSpecialMatrices) {
  std::mt19937 rng(7);
  for (std::int32_t p : {1, 2, 3, 15, 16, 17, 33, 64, 97}) {
    // All ones: eigenvalue p once and 0 repeated.
    expect_identical(p, std::vector<float>(tri(p), 1.0f), "ones");
    // Zero rows and columns inside a random matrix.
    std::vector<float> a = random_symmetric(p, rng);
    for (std::size_t r = 1; r <= static_cast<std::size_t>(p); ++r)
      for (std::size_t c = 1; c <= r; ++c)
        if (r % 3 == 0 || c % 3 == 0) a[at(r, c)] = 0.0f;
    expect_identical(p, a, "zero rows");
    // Already diagonal, with ties.
    std::vector<float> d(tri(p), 0.0f);
    for (std::size_t r = 1; r <= static_cast<std::size_t>(p); ++r)
      d[at(r, r)] = static_cast<float>(rng() % 4);
    expect_identical(p, d, "diagonal");
    // Small integers: many exact ties among the diagonal and the pivots.
    std::vector<float> s(tri(p));
    for (float& v : s) v = static_cast<float>(static_cast<int>(rng() % 5) - 2);
    expect_identical(p, s, "integers");
  }
}

TEST(Jacobi, DiagonalInputIsSortedWithPermutedIdentityAndNoConsoleOutput) {
  // diag(2, 5, -1, 3): sorted 5, 3, 2, -1 taken from positions 2, 4, 1, 3.
  std::vector<float> a(tri(4), 0.0f);
  a[at(1, 1)] = 2.0f;
  a[at(2, 2)] = 5.0f;
  a[at(3, 3)] = -1.0f;
  a[at(4, 4)] = 3.0f;
  const Result r = run_fast(4, a);
  EXPECT_EQ(r.console, "");
  const float want_diag[] = {5.0f, 3.0f, 2.0f, -1.0f};
  const std::size_t from[] = {2, 4, 1, 3};
  for (std::size_t j = 1; j <= 4; ++j) {
    EXPECT_EQ(r.a[at(j, j)], want_diag[j - 1]);
    for (std::size_t c = 1; c < j; ++c) EXPECT_EQ(r.a[at(j, c)], 0.0f);
    for (std::size_t i = 1; i <= 4; ++i)
      EXPECT_EQ(r.e[(j - 1) * 4 + i - 1], i == from[j - 1] ? 1.0f : 0.0f) << i << "," << j;
  }
}

TEST(Jacobi, EqualEigenvaluesKeepTheirOrder) {
  // diag(1, 2, 2): the exchanges move 1 to the end; the two 2s stay in order.
  std::vector<float> a(tri(3), 0.0f);
  a[at(1, 1)] = 1.0f;
  a[at(2, 2)] = 2.0f;
  a[at(3, 3)] = 2.0f;
  const Result r = run_fast(3, a);
  const std::vector<float> want_e = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  EXPECT_EQ(r.e, want_e);
  EXPECT_EQ(r.a[at(3, 3)], 1.0f);
}

TEST(Jacobi, OneVariableDoesNothing) {
  std::vector<float> a = {0.75f};
  const Result r = run_fast(1, a);
  EXPECT_EQ(r.a, std::vector<float>{0.75f});
  EXPECT_EQ(r.e, std::vector<float>{1.0f});
  EXPECT_EQ(r.console, "");
}

// F25.15 fields of the console lines.
double field(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

TEST(Jacobi, TwoByTwoCorrelationAndProgressLines) {
  const float r = 0.5f;
  const Result res = run_fast(2, {1.0f, r, 1.0f});
  EXPECT_NEAR(res.a[at(1, 1)], 1.5f, 1e-6f);
  EXPECT_NEAR(res.a[at(2, 2)], 0.5f, 1e-6f);
  for (float v : res.e) EXPECT_NEAR(std::fabs(v), 1.0f / std::sqrt(2.0f), 1e-6f);

  // Initial norm 1.414 * 0.5 = 0.707, final threshold 0.707e-6 / 2. The
  // threshold halves each step: 0.707 / 2^k <= 0.3535e-6 first at k = 21.
  const std::string& c = res.console;
  const std::string head = "\n EIGENANALYSIS UNDERWAY\n\n THRESHOLD =";
  ASSERT_EQ(c.substr(0, head.size()), head);
  std::size_t pos = head.size();
  EXPECT_NEAR(field(c.substr(pos, 25)), 0.707e-6 / 2, 1e-12);
  pos += 25;
  ASSERT_EQ(c.substr(pos, 1), "\n");  // the empty record that ends the threshold block
  pos += 1;
  const float initial = 1.414f * 0.5f;
  const std::string rec = "\rCURRENT V.=";  // "+" records overprint
  for (int k = 1; k <= 21; ++k) {
    ASSERT_EQ(c.substr(pos, rec.size()), rec) << "step " << k;
    pos += rec.size();
    EXPECT_NEAR(field(c.substr(pos, 25)), static_cast<double>(initial) / std::ldexp(1.0, k),
                1e-15)
        << "step " << k;
    pos += 25;
  }
  EXPECT_EQ(c.substr(pos), "\n");
  EXPECT_EQ(c.find("THRESHOLD"), c.rfind("THRESHOLD"));
}

// Checks in double precision that the columns of r.e are orthonormal
// eigenvectors of the packed matrix a with the eigenvalues on r.a's diagonal,
// in non-increasing order: |A v - lambda v| within `tolerance` times the
// largest element of a.
void expect_eigenpairs(std::int32_t p, const std::vector<float>& a, const Result& r,
                       double tolerance) {
  const auto n = static_cast<std::size_t>(p);
  auto orig = [&](std::size_t i, std::size_t j) {  // 0-based
    return static_cast<double>(i >= j ? a[at(i + 1, j + 1)] : a[at(j + 1, i + 1)]);
  };
  auto vec = [&](std::size_t i, std::size_t j) { return static_cast<double>(r.e[j * n + i]); };
  double scale = 0;
  for (float v : a) scale = std::max(scale, static_cast<double>(std::fabs(v)));
  const double tol = tolerance * scale;
  for (std::size_t j = 0; j < n; ++j) {
    const double lambda = r.a[at(j + 1, j + 1)];
    if (j > 0) {
      EXPECT_GE(r.a[at(j, j)], lambda);
    }
    for (std::size_t i = 0; i < n; ++i) {
      double av = 0;
      for (std::size_t k = 0; k < n; ++k) av += orig(i, k) * vec(k, j);
      EXPECT_NEAR(av, lambda * vec(i, j), tol) << "p=" << p << " column " << j;
    }
    for (std::size_t k = 0; k <= j; ++k) {
      double d = 0;
      for (std::size_t i = 0; i < n; ++i) d += vec(i, j) * vec(i, k);
      EXPECT_NEAR(d, j == k ? 1.0 : 0.0, 2e-5 * p) << "p=" << p << " columns " << j << k;
    }
  }
}

TEST(Jacobi, RandomMatricesGiveOrthonormalEigenvectors) {
  std::mt19937 rng(99);
  for (std::int32_t p : {3, 8, 20, 37, 50}) {
    const std::vector<float> a = random_symmetric(p, rng);
    expect_eigenpairs(p, a, run_fast(p, a), 2e-5 * p);
  }
}

// The eigenvalues alone leave the triangle bit for bit as the run with
// eigenvectors: p = 200 records more rotations than one list holds, so the
// run with eigenvectors hands a list to the pool mid-way.
TEST(Jacobi, EigenvaluesAloneMatchTheRunWithEigenvectors) {
  std::mt19937 rng(31);
  struct Case {
    const char* what;
    std::int32_t p;
    std::vector<float> a;
    std::size_t threads;  // 0: no pool
  };
  const Case cases[] = {
      {"random", 1, random_symmetric(1, rng), 0},
      {"random", 2, random_symmetric(2, rng), 0},
      {"random", 17, random_symmetric(17, rng), 0},
      {"random", 40, random_symmetric(40, rng), 0},
      {"repeated", 24, repeated_eigenvalues(24, rng), 0},
      {"random on a pool", 40, random_symmetric(40, rng), 3},
      {"random on a pool", 200, random_symmetric(200, rng), 3},
  };
  for (const Case& c : cases) {
    std::unique_ptr<WorkerPool> pool;
    if (c.threads > 0) pool = std::make_unique<WorkerPool>(c.threads);
    std::vector<float> with = c.a, alone = c.a;
    std::vector<float> e(static_cast<std::size_t>(c.p) * c.p);
    ASSERT_EQ(jacobi(c.p, with, e, nullptr, pool.get()), Convergence::kConverged);
    ASSERT_EQ(jacobi_values(c.p, alone, pool.get()), Convergence::kConverged);
    EXPECT_EQ(0, std::memcmp(with.data(), alone.data(), with.size() * sizeof(float)))
        << c.what << " p=" << c.p;
  }
}

TEST(Jacobi, NotANumberEndsTheRoutine) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Off the diagonal: the initial norm is not a number, so nothing is rotated.
  std::vector<float> off = {4.0f, nan, 9.0f, 0.5f, 0.25f, 1.0f};
  const Result r1 = run_fast(3, off);
  EXPECT_EQ(r1.console, "");
  EXPECT_EQ(r1.a[at(1, 1)], 9.0f);
  EXPECT_EQ(r1.a[at(2, 2)], 4.0f);
  EXPECT_EQ(r1.a[at(3, 3)], 1.0f);
  // On the diagonal: rotations spread it, and the failed comparisons stop the iteration.
  std::vector<float> diag = {nan, 0.5f, 1.0f, 0.25f, 0.125f, 2.0f};
  const Result r2 = run_fast(3, diag);
  EXPECT_NE(r2.console.find("THRESHOLD"), std::string::npos);
  expect_identical(3, diag, "nan diagonal");
}

// ------------------------------------------------------------ overflow

constexpr detail::Kernels kAllKernels[] = {detail::Kernels::kPortable, detail::Kernels::kAvx2,
                                           detail::Kernels::kAvx512};

// Every kernel width gives the plain method's outcome, console and (when it
// converges) bits.
void expect_every_width_matches_plain(std::int32_t p, const std::vector<float>& a,
                                      const std::string& what) {
  const Result want = run_literal(p, a);
  for (detail::Kernels k : kAllKernels) {
    const Result got = run_with_kernels(p, a, k);
    const std::string where = what + " kernels=" + std::to_string(static_cast<int>(k));
    ASSERT_EQ(want.convergence, got.convergence) << where;
    ASSERT_EQ(want.console, got.console) << where;
    if (want.convergence != Convergence::kConverged) continue;
    ASSERT_EQ(0, std::memcmp(want.a.data(), got.a.data(), want.a.size() * sizeof(float))) << where;
    ASSERT_EQ(0, std::memcmp(want.e.data(), got.e.data(), want.e.size() * sizeof(float))) << where;
  }
}

std::vector<float> scaled(std::vector<float> a, float factor) {
  for (float& v : a) v *= factor;
  return a;
}

// A(l,m)^2 + x^2 or the initial sum of squares beyond single precision: the
// iteration ends, agrees with the plain method at every kernel width, and
// finds the eigenpairs (2 x 2: the closed form, the smaller eigenvalue as
// determinant / larger so that it does not cancel).
TEST(Jacobi, SquaresBeyondSinglePrecisionStillConverge) {
  std::mt19937 rng(31);
  struct Case {
    std::string what;
    std::int32_t p;
    std::vector<float> a;
  };
  std::vector<Case> cases = {
      {"covariances of (1, 2, 1e12) and (2, 1, 5)", 2, {1e24f / 3, 7e12f / 6, 13.0f / 3}},
      {"diagonal 1e30 and 1e22, off 1e20", 2, {1e30f, 1e20f, 1e22f}},
      {"off-diagonal 2e19 only", 2, {1.0f, 2e19f, 3.0f}},
      {"negative diagonal 3e25", 2, {-3e25f, 4e24f, 7e20f}},
  };
  for (std::int32_t p : {5, 40, 131})
    cases.push_back({"correlation x 1e25", p, scaled(random_correlation(p, rng), 1e25f)});
  cases.push_back({"symmetric x 1e21", 20, scaled(random_symmetric(20, rng), 1e21f)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what + " p=" + std::to_string(c.p));
    expect_every_width_matches_plain(c.p, c.a, c.what);
    const Result r = run_fast(c.p, c.a);
    ASSERT_EQ(r.convergence, Convergence::kConverged);
    if (c.p == 2) {
      const double a = c.a[0], b = c.a[1], d = c.a[2];
      const double half = std::sqrt((a - d) * (a - d) / 4 + b * b);
      const double big = (a + d) / 2 >= 0 ? (a + d) / 2 + half : (a + d) / 2 - half;
      const double small = (a * d - b * b) / big;
      const double hi = std::max(big, small), lo = std::min(big, small);
      EXPECT_NEAR(r.a[0], hi, 1e-5 * std::fabs(hi));
      EXPECT_NEAR(r.a[2], lo, 1e-5 * std::fabs(lo));
    } else {
      expect_eigenpairs(c.p, c.a, r, 2e-5 * c.p);
    }
  }
}

// Diagonal elements so far apart that a rotation's sine rounds to zero: the
// rotation changes nothing and the sweep would repeat for ever.
TEST(Jacobi, AThresholdStepThatNeverSettlesEndsAtTheSweepLimit) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(1.0f, 2.0f);
  for (std::int32_t p : {2, 40}) {
    std::vector<float> a(tri(p));
    for (std::size_t r = 1; r <= static_cast<std::size_t>(p); ++r)
      for (std::size_t c = 1; c <= r; ++c) a[at(r, c)] = r == c ? u(rng) : 1e-20f * u(rng);
    a[at(1, 1)] = 1e30f;
    SCOPED_TRACE(p);
    expect_every_width_matches_plain(p, a, "stuck");
    const Result r = run_fast(p, a);
    EXPECT_EQ(r.convergence, Convergence::kNotConverged);
    // The first threshold step never settles.
    EXPECT_EQ(r.console.find("CURRENT V."), r.console.rfind("CURRENT V."));
    std::vector<float> e(static_cast<std::size_t>(p) * p);
    console_bytes([&](textio::Console& con) {
      driver::EigenProgress lines(con);
      EXPECT_EQ(detail::jacobi_counting(p, a, e, &lines).most_sweeps, kSweepLimit);
    });
  }
}

}  // namespace
}  // namespace orthaxis::analysis
