// Objects scored eight at a time, one per vector lane, get bit for bit the
// values of the plain statement of the score, object by object and term by
// term: the row centred (and scaled) in variable order with its centred sum
// of squares, absent (negative) values left out, each term x e divided as the
// normalisation asks, added from 0 in variable order.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "results/object_groups.h"

namespace orthaxis::results {
namespace {

using analysis::AnalysisType;

TEST(ObjectGroups, ScoresAreThoseOfThePlainStatementForEveryTypeAndNormalisation) {
  const std::size_t p = 37;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(0.0f, 50.0f), vec(-1.0f, 1.0f);
  std::vector<float> mean(p), sd(p), root_count(p), e(p), both(p);
  for (std::size_t j = 0; j < p; ++j) {
    mean[j] = value(rng), sd[j] = 1.0f + value(rng) / 10.0f, e[j] = vec(rng);
    root_count[j] = std::sqrt(static_cast<float>(j + 2));
    both[j] = std::sqrt(static_cast<float>(j + 2) * 3.5f);
  }
  const float root_lambda = std::sqrt(3.5f);
  for (AnalysisType type :
       {AnalysisType::kCrossProducts, AnalysisType::kCovariances, AnalysisType::kCorrelations}) {
    for (Divide divide : {Divide::kNot, Divide::kTwice, Divide::kOnce}) {
      for (std::size_t lanes : {1, 5, 8}) {
        std::vector<float> rows(lanes * p);
        for (float& x : rows) x = rng() % 9 == 0 ? -1.0f : value(rng);
        std::vector<float> x(p * kGroup);
        float ssq[kGroup] = {}, score[kGroup];
        interleave_group(rows.data(), lanes, p, x.data());
        centre_group(type, p, mean.data(), sd.data(), x.data(), ssq);
        sum_group(divide, p, x.data(), e.data(), root_lambda,
                  divide == Divide::kTwice ? root_count.data() : both.data(), score);
        for (std::size_t k = 0; k < lanes; ++k) {
          float plain_ssq = 0.0f, s = 0.0f;
          for (std::size_t j = 0; j < p; ++j) {
            float v = rows[k * p + j];
            if (v < 0.0f) continue;
            if (type != AnalysisType::kCorrelations) plain_ssq += (v - mean[j]) * (v - mean[j]);
            if (type != AnalysisType::kCrossProducts) v = v - mean[j];
            if (type == AnalysisType::kCorrelations) {
              v = v / sd[j];
              plain_ssq += v * v;
            }
            float term = v * e[j];
            if (divide == Divide::kTwice) term = term / root_lambda / root_count[j];
            if (divide == Divide::kOnce) term = term / both[j];
            s = s + term;
          }
          EXPECT_EQ(std::bit_cast<std::uint32_t>(ssq[k]), std::bit_cast<std::uint32_t>(plain_ssq));
          EXPECT_EQ(std::bit_cast<std::uint32_t>(score[k]), std::bit_cast<std::uint32_t>(s))
              << static_cast<int>(type) << " " << static_cast<int>(divide) << " lane " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orthaxis::results
