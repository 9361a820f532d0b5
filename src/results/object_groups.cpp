#include "results/object_groups.h"

#include <algorithm>

#include "analysis/vector_clones.h"

namespace orthaxis::results {

void interleave_group(const float* rows, std::size_t lanes, std::size_t p, float* x) {
  for (std::size_t k = 0; k < kGroup; ++k) {
    const float* row = rows + std::min(k, lanes - 1) * p;
    for (std::size_t j = 0; j < p; ++j) x[j * kGroup + k] = row[j];
  }
}

namespace {

// Centres (and scales) a group's values in place and sums each object's
// centred squares: an absent value (negative) becomes kAbsent and adds
// nothing.
template <analysis::AnalysisType kType>
[[gnu::always_inline]] inline void centre_group(std::size_t p, const float* __restrict mean,
                                                const float* __restrict sd, float* __restrict x,
                                                float* __restrict ssq) {
  using analysis::AnalysisType;
  for (std::size_t j = 0; j < p; ++j) {
    float* xj = x + j * kGroup;
    for (std::size_t k = 0; k < kGroup; ++k) {
      const float v = xj[k];
      float sum = ssq[k];
      float centred = v;
      if constexpr (kType != AnalysisType::kCorrelations) {
        const float d = v - mean[j];
        sum = sum + d * d;
      }
      if constexpr (kType != AnalysisType::kCrossProducts) centred = v - mean[j];
      if constexpr (kType == AnalysisType::kCorrelations) {
        centred = centred / sd[j];
        sum = sum + centred * centred;
      }
      const bool absent = v < 0.0f;
      ssq[k] = absent ? ssq[k] : sum;
      xj[k] = absent ? kAbsent : centred;
    }
  }
}

// A group's scores on one component: the terms x(j) * e(j), divided as the
// normalisation asks (by `first` and then by divisor[j], or by divisor[j]),
// added in variable order, values equal to kAbsent left out.
template <Divide kDivide>
[[gnu::always_inline]] inline void sum_group(std::size_t p, const float* __restrict x,
                                             const float* __restrict e, float first,
                                             const float* __restrict divisor,
                                             float* __restrict score) {
  float s[kGroup] = {};
  for (std::size_t j = 0; j < p; ++j) {
    const float* xj = x + j * kGroup;
    for (std::size_t k = 0; k < kGroup; ++k) {
      float term = xj[k] * e[j];
      if constexpr (kDivide == Divide::kTwice) term = term / first / divisor[j];
      if constexpr (kDivide == Divide::kOnce) term = term / divisor[j];
      s[k] = xj[k] == kAbsent ? s[k] : s[k] + term;
    }
  }
  for (std::size_t k = 0; k < kGroup; ++k) score[k] = s[k];
}

}  // namespace

// The group steps for each analysis type and normalisation, compiled for
// the processor's vectors.
using analysis::AnalysisType;
ORTHAXIS_VECTOR_CLONES void centre_group(AnalysisType type, std::size_t p, const float* mean,
                                         const float* sd, float* x, float* ssq) {
  switch (type) {
    case AnalysisType::kCrossProducts:
      return centre_group<AnalysisType::kCrossProducts>(p, mean, sd, x, ssq);
    case AnalysisType::kCovariances:
      return centre_group<AnalysisType::kCovariances>(p, mean, sd, x, ssq);
    default:
      return centre_group<AnalysisType::kCorrelations>(p, mean, sd, x, ssq);
  }
}
ORTHAXIS_VECTOR_CLONES void sum_group(Divide divide, std::size_t p, const float* x,
                                      const float* e, float first, const float* divisor,
                                      float* score) {
  switch (divide) {
    case Divide::kNot: return sum_group<Divide::kNot>(p, x, e, first, divisor, score);
    case Divide::kTwice: return sum_group<Divide::kTwice>(p, x, e, first, divisor, score);
    case Divide::kOnce: return sum_group<Divide::kOnce>(p, x, e, first, divisor, score);
  }
}


}  // namespace orthaxis::results
