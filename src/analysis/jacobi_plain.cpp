// The eigenanalysis stated plainly, as the method is written down: one
// rotation after another on the packed triangle with 1-based positions, every
// element of a rotated pair at once. The blocked iteration gives its results
// bit for bit (the tests compare the two); both build and apply the
// rotations through JacobiRotation.

#include <cmath>
#include <cstdint>

#include "analysis/jacobi.h"
#include "analysis/jacobi_rotation.h"
#include "analysis/threshold_schedule.h"

namespace orthaxis::analysis {

Convergence jacobi_directly(std::int32_t p, std::span<float> a_, std::span<float> e_,
                            JacobiObserver* observer) {
  auto A = [&](std::int64_t k) -> float& { return a_[static_cast<std::size_t>(k - 1)]; };
  auto E = [&](std::int64_t k) -> float& { return e_[static_cast<std::size_t>(k - 1)]; };
  const std::int64_t n = p;
  // The eigenvectors start as the identity.
  for (std::int64_t k = 1; k <= n * n; ++k) E(k) = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) E((i - 1) * n + i) = 1.0f;
  // Sum of the squares of the off-diagonal elements, each pair once.
  float anorm = 0.0f;
  for (std::int64_t i = 1; i <= n; ++i) {
    for (std::int64_t j = i; j <= n; ++j) {
      if (j != i) {
        const float v = A(i + (j * j - j) / 2);
        anorm = anorm + v * v;
      }
    }
  }
  // The same sum in double precision, where single precision overflows.
  double wide = 0.0;
  const bool overflow = !std::isfinite(anorm);
  if (overflow) {
    for (std::int64_t i = 1; i <= n; ++i) {
      for (std::int64_t j = i; j <= n; ++j) {
        if (j != i) {
          const double v = A(i + (j * j - j) / 2);
          wide = wide + v * v;
        }
      }
    }
  }
  const bool nothing_to_rotate = overflow ? !(wide > 0.0) : (anorm <= 0.0f || std::isnan(anorm));
  if (!nothing_to_rotate) {
    // Initial norm, final threshold, first threshold.
    anorm = overflow ? static_cast<float>(static_cast<double>(1.414f) * std::sqrt(wide))
                     : 1.414f * std::sqrt(anorm);
    const float pf = static_cast<float>(p);
    const float fnorm = anorm * 0.000001f / pf;
    float thr = anorm;
    if (observer != nullptr) observer->started(ThresholdSchedule{pf, fnorm});
    for (std::int64_t step = 1;; ++step) {
      // One threshold step: sweeps until a sweep rotates nothing.
      thr = thr / pf;
      if (observer != nullptr) observer->threshold_step(step, thr);
      int ind = 1;
      for (std::int32_t sweep = 1; ind == 1; ++sweep) {
        if (sweep > kSweepLimit) return Convergence::kNotConverged;
        ind = 0;
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
            const JacobiRotation r = JacobiRotation::for_pivot(A(ll), A(mm), A(lm));
            for (std::int64_t i = 1; i <= n; ++i) {
              const std::int64_t iq = (i * i - i) / 2;
              if (i != l && i != m) {
                const std::int64_t im = i < m ? i + mq : m + iq;
                const std::int64_t il = i < l ? i + lq : l + iq;
                r.apply(A(il), A(im));
              }
              r.apply(E(n * (l - 1) + i), E(n * (m - 1) + i));
            }
            const JacobiRotation::Pivot pivot = r.pivot(A(ll), A(mm), A(lm));
            A(lm) = pivot.lm;
            A(ll) = pivot.ll;
            A(mm) = pivot.mm;
          }
        }
      }
      const float left = thr - fnorm;
      if (left <= 0.0f || std::isnan(left)) break;
    }
  }
  // Exchange sort by decreasing diagonal, the eigenvector columns moving along.
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
  return Convergence::kConverged;
}

}  // namespace orthaxis::analysis
