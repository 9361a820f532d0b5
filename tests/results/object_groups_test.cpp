// Objects scored eight at a time, one per vector lane, get bit for bit the
// values of the plain statement of the score, object by object and term by
// term: the row centred (and scaled) in variable order with its centred sum
// of squares, absent (negative) values left out, each term x e divided as the
// normalisation asks, added from 0 in variable order.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <vector>

#include "results/object_groups.h"
#include "textio/io_error.h"

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

// A pass over the objects scores every object once and lists them in order,
// whatever the thread count; a scratch file that ends early (here after 1234
// of 2000 rows) lists the objects before the missing row, then fails as a
// plain read would.
TEST(ObjectGroups, APassListsEveryObjectInOrderAndStopsAtARowThatCannotBeRead) {
  const std::size_t p = 30;
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "groups_pass.tmp";
  for (std::size_t rows_in_file : {2000, 1234}) {
    for (std::size_t threads : {1, 2, 3}) {
      input::ScratchFile scratch(path.string());
      std::vector<float> row(p);
      for (std::size_t i = 0; i < rows_in_file; ++i) {
        row[0] = static_cast<float>(i);
        scratch.write_row(row);
      }
      scratch.rewind();
      analysis::WorkerPool pool(threads);
      std::vector<float> seen(2000, -1.0f);
      std::size_t listed = 0;
      bool in_order = true;
      auto pass = [&] {
        score_in_blocks(
            scratch, 2000, p, &pool,
            [&](const ObjectRun& r) {
              for (std::size_t k = 0; k < r.count; ++k) seen[r.first + k] = r.rows[k * p];
            },
            [&](const ObjectRun& r) {
              in_order = in_order && r.first == listed;
              for (std::size_t k = 0; k < r.count; ++k)
                in_order = in_order && seen[r.first + k] == static_cast<float>(r.first + k);
              listed += r.count;
            });
      };
      if (rows_in_file == 2000) {
        pass();
      } else {
        try {
          pass();
          ADD_FAILURE() << threads << " threads: no failure";
        } catch (const textio::IoError& e) {
          EXPECT_EQ(e.reason(), "Attempt to read past end of file");
        }
      }
      EXPECT_TRUE(in_order) << threads << " threads";
      EXPECT_EQ(listed, rows_in_file) << threads << " threads";
      scratch.close_and_delete();
    }
  }
}

}  // namespace
}  // namespace orthaxis::results
