#pragma once
// One rotation of the Jacobi method: its sine and cosine, built from the
// pivot A(l,m) and the diagonal elements A(l,l), A(m,m), and applied apart
// from building: to each pair of elements (i, l), (i, m) of the matrix and
// of the eigenvectors, and to the three pivot elements. Every operation is
// one single-precision rounding, in the order written here; the plain
// statement and the blocked iteration both go through this type.

#include <cmath>

namespace orthaxis::analysis {

struct JacobiRotation {
  float s, s2, c, c2, sc;  // sine, its square, cosine, its square, their product

  // The rotation that annuls alm against the diagonal elements all and amm.
  // Where alm^2 + x^2 is not finite, y comes from double precision, stored once.
  static JacobiRotation for_pivot(float all, float amm, float alm) {
    const float x = 0.5f * (all - amm);
    const float squares = alm * alm + x * x;
    float y;
    if (std::isfinite(squares)) [[likely]] {
      y = -alm / std::sqrt(squares);
    } else {
      const double a = alm;
      const double xd = x;
      y = static_cast<float>(-a / std::sqrt(a * a + xd * xd));
    }
    if (x < 0.0f) y = -y;
    JacobiRotation r;
    r.s = y / std::sqrt(2.0f * (1.0f + std::sqrt(1.0f - y * y)));
    r.s2 = r.s * r.s;
    r.c = std::sqrt(1.0f - r.s2);
    r.c2 = r.c * r.c;
    r.sc = r.s * r.c;
    return r;
  }

  // x' = x c - y s, y' = x s + y c: the pair (i, l), (i, m).
  void apply(float& x, float& y) const {
    const float xn = x * c - y * s;
    y = x * s + y * c;
    x = xn;
  }

  // The pivot elements after the rotation, from their values before it.
  struct Pivot {
    float ll, mm, lm;
  };
  Pivot pivot(float all, float amm, float alm) const {
    const float x = 2.0f * alm * sc;
    return {all * c2 + amm * s2 - x, all * s2 + amm * c2 + x, (all - amm) * sc + alm * (c2 - s2)};
  }
};

}  // namespace orthaxis::analysis
