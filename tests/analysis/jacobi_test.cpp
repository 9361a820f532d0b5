#include "analysis/jacobi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "textio/console.h"
#include "textio/format.h"

namespace orthaxis::analysis {
namespace {

// The cyclic threshold Jacobi method written out step by step on the packed
// triangle with 1-based positions, kept deliberately plain: the optimised
// routine must reproduce it bit for bit.
void literal_jacobi(std::int32_t p, std::span<float> a_, std::span<float> e_,
                    textio::Console& console) {
  auto A = [&](std::int64_t k) -> float& { return a_[static_cast<std::size_t>(k - 1)]; };
  auto E = [&](std::int64_t k) -> float& { return e_[static_cast<std::size_t>(k - 1)]; };
  auto out = [&](const char* spec, float v) {
    const textio::Value values[] = {v};
    textio::Format(spec).write(values, [&](std::string_view r) { console.write(r); });
  };
  const std::int64_t n = p;
  // Step 1.
  for (std::int64_t k = 1; k <= n * n; ++k) E(k) = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) E((i - 1) * n + i) = 1.0f;
  // Step 2.
  float anorm = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) {
    for (std::int64_t j = i; j <= n; ++j) {
      if (j != i) {
        const float v = A(i + (j * j - j) / 2);
        anorm = anorm + v * v;
      }
    }
  }
  // Step 3.
  if (anorm <= 0.0f || std::isnan(anorm)) goto sort;
  {
    // Step 4.
    anorm = 1.414f * std::sqrt(anorm);
    const float pf = static_cast<float>(p);
    const float fnorm = anorm * 0.000001f / pf;
    int ind = 0;
    float thr = anorm;
    out("(/' EIGENANALYSIS UNDERWAY'//' THRESHOLD =',F25.15/)", fnorm);
  step5:
    thr = thr / pf;
    out("(1H+,'CURRENT V.=',F25.15)", thr);
  step6:
    for (std::int64_t l = 1; l <= n - 1; ++l) {
      for (std::int64_t m = l + 1; m <= n; ++m) {
        const std::int64_t lq = (l * l - l) / 2;
        const std::int64_t mq = (m * m - m) / 2;
        const std::int64_t lm = l + mq;
        const float d = std::fabs(A(lm)) - thr;
        if (d < 0.0f || std::isnan(d)) continue;
        ind = 1;
        const std::int64_t ll = l + lq;
        const std::int64_t mm = m + mq;
        float x = 0.5f * (A(ll) - A(mm));
        float y = -A(lm) / std::sqrt(A(lm) * A(lm) + x * x);
        if (x < 0.0f) y = -y;
        const float sinx = y / std::sqrt(2.0f * (1.0f + std::sqrt(1.0f - y * y)));
        const float sinx2 = sinx * sinx;
        const float cosx = std::sqrt(1.0f - sinx2);
        const float cosx2 = cosx * cosx;
        const float sincs = sinx * cosx;
        for (std::int64_t i = 1; i <= n; ++i) {
          const std::int64_t iq = (i * i - i) / 2;
          if (i != l && i != m) {
            const std::int64_t im = i < m ? i + mq : m + iq;
            const std::int64_t il = i < l ? i + lq : l + iq;
            x = A(il) * cosx - A(im) * sinx;
            A(im) = A(il) * sinx + A(im) * cosx;
            A(il) = x;
          }
          const std::int64_t el = n * (l - 1) + i;
          const std::int64_t em = n * (m - 1) + i;
          x = E(el) * cosx - E(em) * sinx;
          E(em) = E(el) * sinx + E(em) * cosx;
          E(el) = x;
        }
        x = 2.0f * A(lm) * sincs;
        y = A(ll) * cosx2 + A(mm) * sinx2 - x;
        x = A(ll) * sinx2 + A(mm) * cosx2 + x;
        A(lm) = (A(ll) - A(mm)) * sincs + A(lm) * (cosx2 - sinx2);
        A(ll) = y;
        A(mm) = x;
      }
    }
    if (ind == 1) {
      ind = 0;
      goto step6;
    }
    const float left = thr - fnorm;
    if (!(left <= 0.0f || std::isnan(left))) goto step5;
  }
sort:
  // Step 7.
  for (std::int64_t i = 1; i <= n; ++i) {
    const std::int64_t ll = i + (i * i - i) / 2;
    for (std::int64_t j = i; j <= n; ++j) {
      const std::int64_t mm = j + (j * j - j) / 2;
      if (A(ll) - A(mm) < 0.0f) {
        const float x = A(ll);
        A(ll) = A(mm);
        A(mm) = x;
        for (std::int64_t k = 1; k <= n; ++k) {
          const std::int64_t ik = (i - 1) * n + k;
          const std::int64_t jk = (j - 1) * n + k;
          const float t = E(ik);
          E(ik) = E(jk);
          E(jk) = t;
        }
      }
    }
  }
}

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
};

Result run_fast(std::int32_t p, std::vector<float> a) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, -7.0f);
  r.console = console_bytes([&](textio::Console& c) { jacobi(p, a, r.e, c); });
  r.a = std::move(a);
  return r;
}

Result run_with_kernels(std::int32_t p, std::vector<float> a, detail::Kernels widest) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, 5.0f);
  r.console = console_bytes([&](textio::Console& c) { detail::jacobi_counting(p, a, r.e, c, widest); });
  r.a = std::move(a);
  return r;
}

Result run_literal(std::int32_t p, std::vector<float> a) {
  Result r;
  r.e.assign(static_cast<std::size_t>(p) * p, 3.0f);
  r.console = console_bytes([&](textio::Console& c) { literal_jacobi(p, a, r.e, c); });
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

TEST(Jacobi, RandomMatricesGiveOrthonormalEigenvectors) {
  std::mt19937 rng(99);
  for (std::int32_t p : {3, 8, 20, 37, 50}) {
    const std::vector<float> a = random_symmetric(p, rng);
    const Result r = run_fast(p, a);
    const auto n = static_cast<std::size_t>(p);
    auto orig = [&](std::size_t i, std::size_t j) {  // 0-based
      return static_cast<double>(i >= j ? a[at(i + 1, j + 1)] : a[at(j + 1, i + 1)]);
    };
    auto vec = [&](std::size_t i, std::size_t j) { return static_cast<double>(r.e[j * n + i]); };
    double scale = 0;
    for (float v : a) scale = std::max(scale, static_cast<double>(std::fabs(v)));
    const double tol = 2e-5 * p * scale;
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

}  // namespace
}  // namespace orthaxis::analysis
