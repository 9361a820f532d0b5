#include "export/csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "export/csv_reader.h"

namespace orthaxis::csv {
namespace {

using results::ScoreLayout;
using results::ScoreMatrix;
using testing::csv_number;
using testing::parse_csv;

std::string collect(const std::function<void(const LineSink&)>& body) {
  std::string text;
  body([&text](std::string_view line) { (text += line) += '\n'; });
  return text;
}

TEST(CsvField, QuotesOnlyWhatNeedsQuoting) {
  const struct {
    const char* text;
    const char* field;
  } cases[] = {
      {"", ""},
      {"plain label", "plain label"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
  };
  for (const auto& c : cases) EXPECT_EQ(field(c.text), c.field) << c.text;
}

TEST(CsvNumber, ReadsBackToTheSameFloat) {
  const float values[] = {0.0f,         0.1f,         1.0f / 3.0f,  -2.5e7f,  123456.7f,
                          1234567.0f,   16777216.0f,  3.40282347e38f, 1.17549435e-38f,
                          1.4e-45f,     -0.000123456f, 72.962738f};
  for (float v : values) {
    const std::string text = number(v);
    const float back = std::strtof(text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
    EXPECT_EQ(text.find('*'), std::string::npos);
  }
  EXPECT_EQ(number(1234567.0f), "1234567");
  EXPECT_EQ(number(std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(number(-std::numeric_limits<float>::infinity()), "-Inf");
}

// Three points on two axes, worked by hand. With masses 1/2, 1/4, 1/4 the
// weighted squares on axis 1 (scores 1, -1, -1) are 1/2, 1/4, 1/4 of their
// sum, on axis 2 (scores 0, 2, -2) 0, 1/2, 1/2. With equal masses axis 1
// gives each point a third.
TEST(CsvTables, PointsWithContributionsAndLabelsThatNeedQuoting) {
  const ScoreMatrix scores({1.0f, 0.0f, -1.0f, 2.0f, -1.0f, -2.0f}, 3, 2, ScoreLayout::kPointRows);
  const ScoreMatrix cos2({0.5f, 0.25f, 0.2f, 0.8f, 1.0f, 0.0f}, 3, 2, ScoreLayout::kPointRows);
  const std::vector<float> masses = {0.5f, 0.25f, 0.25f};
  const std::vector<std::string> labels = {"Smith, J.", "the \"best\" one", "plain"};

  auto rows = parse_csv(collect([&](const LineSink& l) {
    point_table("F", {scores, cos2, masses, labels}, l);
  }));
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::string> header = {"index", "label", "F1", "F2", "cos2_1", "cos2_2",
                                           "ctr_1", "ctr_2"};
  EXPECT_EQ(rows[0], header);
  const double expected_ctr[3][2] = {{50, 0}, {25, 50}, {25, 50}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& r = rows[i + 1];
    EXPECT_EQ(r[0], std::to_string(i + 1));
    EXPECT_EQ(r[1], labels[i]);
    for (std::size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(static_cast<float>(csv_number(r[2 + k])), scores.at(i, k));
      EXPECT_EQ(static_cast<float>(csv_number(r[4 + k])), cos2.at(i, k));
      EXPECT_NEAR(csv_number(r[6 + k]), expected_ctr[i][k], 1e-5);
    }
  }

  rows = parse_csv(collect([&](const LineSink& l) { point_table("G", {scores, cos2, {}, {}}, l); }));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][2], "G1");
  for (std::size_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(rows[i][1], "");
    EXPECT_NEAR(csv_number(rows[i][6]), 100.0 / 3.0, 1e-5);
  }
}

}  // namespace
}  // namespace orthaxis::csv
