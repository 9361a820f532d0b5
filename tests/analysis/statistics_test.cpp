// Variable statistics and the resemblance matrix: textbook means, deviations,
// covariances and correlations; pairwise deletion of missing values; the
// statistics block and the two abnormal stops, laid out by hand from their
// formats.

#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "analysis/packed.h"
#include "textio/console.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::analysis {
namespace {

constexpr float M = -1.0f;  // a missing value

// One data pass and the finishing step over a small matrix, with every
// accumulator held here.
struct Pass {
  Pass(std::int32_t type, std::int32_t p, const std::vector<std::vector<float>>& rows)
      : p(p), n(static_cast<std::int32_t>(rows.size())) {
    const std::size_t len = packed_length(static_cast<std::size_t>(p));
    for (auto* v : {&a, &count, &sx, &sy, &qx, &qy}) v->assign(len, 123.0f);  // junk
    sum.assign(static_cast<std::size_t>(p), 7.0f);
    vcount.assign(static_cast<std::size_t>(p), 7.0f);
    sd.assign(static_cast<std::size_t>(p), 0.0f);
    object_ssq.assign(rows.size(), 7.0f);
    row_total.assign(rows.size(), 7.0f);
    PairAccumulator acc(p, n, sums());
    VariableSums vs{sum, vcount, object_ssq, row_total, 0.0f};
    start_variable_sums(vs, n);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      acc.add(rows[i]);
      add_variable_sums(vs, i, rows[i], false);
    }
    acc.finish();
    st = Statistics{sum, sd, vcount, 0.0f, false};
    finish_statistics(analysis_type_of(type), p, sums(), st);
  }
  PairSums sums() { return {a, count, sx, sy, qx, qy}; }
  // Element (i, j) of the finished matrix, 1-based, either order.
  float at(std::size_t i, std::size_t j) const { return a[symmetric_index(i, j)]; }
  float pairs(std::size_t i, std::size_t j) const { return count[symmetric_index(i, j)]; }

  std::int32_t p, n;
  std::vector<float> a, count, sx, sy, qx, qy, sum, vcount, sd, object_ssq, row_total;
  Statistics st;
};

// Textbook statistics in double over the objects where both values are present.
struct Pair {
  double n = 0, mean_x = 0, mean_y = 0, cov = 0, sd_x = 0, sd_y = 0, corr = 0;
};
Pair textbook(const std::vector<std::vector<float>>& rows, std::size_t i, std::size_t j) {
  std::vector<double> x, y;
  for (const auto& r : rows)
    if (r[i - 1] >= 0 && r[j - 1] >= 0) {
      x.push_back(r[i - 1]);
      y.push_back(r[j - 1]);
    }
  Pair t;
  t.n = static_cast<double>(x.size());
  for (std::size_t k = 0; k < x.size(); ++k) t.mean_x += x[k] / t.n, t.mean_y += y[k] / t.n;
  double sxx = 0, syy = 0, sxy = 0;
  for (std::size_t k = 0; k < x.size(); ++k) {
    sxx += (x[k] - t.mean_x) * (x[k] - t.mean_x);
    syy += (y[k] - t.mean_y) * (y[k] - t.mean_y);
    sxy += (x[k] - t.mean_x) * (y[k] - t.mean_y);
  }
  t.cov = sxy / (t.n - 1);
  t.sd_x = std::sqrt(sxx / (t.n - 1));
  t.sd_y = std::sqrt(syy / (t.n - 1));
  t.corr = sxy / std::sqrt(sxx * syy);
  return t;
}

void expect_close(double actual, double expected, const char* what) {
  EXPECT_NEAR(actual, expected, 2e-6 * std::max(1.0, std::abs(expected))) << what;
}

// --------------------------------------------------------------- numbers

// x1 = 1 2 3 4, x2 = 1 3 2 6: means 2.5 and 3, variances 5/3 and 14/3,
// covariance 7/3, correlation 7 / sqrt(70).
const std::vector<std::vector<float>> kComplete = {{1, 1}, {2, 3}, {3, 2}, {4, 6}};

TEST(Statistics, CompleteDataGiveTextbookMeansDeviationsCovariances) {
  Pass s(2, 2, kComplete);
  EXPECT_FALSE(s.st.zero_variance);
  EXPECT_EQ(s.st.mean[0], 2.5f);
  EXPECT_EQ(s.st.mean[1], 3.0f);
  expect_close(s.st.sd[0], std::sqrt(5.0 / 3.0), "sd 1");
  expect_close(s.st.sd[1], std::sqrt(14.0 / 3.0), "sd 2");
  expect_close(s.at(1, 1), 5.0 / 3.0, "var 1");
  expect_close(s.at(1, 2), 7.0 / 3.0, "cov 12");
  expect_close(s.at(2, 2), 14.0 / 3.0, "var 2");
  expect_close(s.st.pooled_variance, 19.0 / 3.0, "pooled");
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(s.count[k], 4.0f);
  EXPECT_EQ(s.vcount[0], 4.0f);
  EXPECT_EQ(s.vcount[1], 4.0f);
}

TEST(Statistics, CompleteDataGiveTextbookCorrelationWithExactUnitDiagonal) {
  Pass s(3, 2, kComplete);
  EXPECT_EQ(s.at(1, 1), 1.0f);
  EXPECT_EQ(s.at(2, 2), 1.0f);
  expect_close(s.at(1, 2), 7.0 / std::sqrt(70.0), "r12");
  // The statistics still show the raw variances: V is their sum, not p.
  expect_close(s.st.pooled_variance, 19.0 / 3.0, "pooled");
}

TEST(Statistics, CrossProductsAreUncentredSums) {
  Pass s(1, 2, kComplete);
  EXPECT_EQ(s.at(1, 1), 30.0f);  // 1 + 4 + 9 + 16
  EXPECT_EQ(s.at(1, 2), 37.0f);  // 1 + 6 + 6 + 24
  EXPECT_EQ(s.at(2, 2), 50.0f);  // 1 + 9 + 4 + 36
  EXPECT_EQ(s.st.mean[0], 2.5f);
  expect_close(s.st.sd[1], std::sqrt(14.0 / 3.0), "sd 2");
}

// Object 2 misses variable 2 (any negative value, or NaN, is missing).
const std::vector<std::vector<float>> kOneMissing = {
    {1, 2, 1}, {2, M, 3}, {3, 4, 2}, {4, 6, 5}};

TEST(Statistics, OneMissingValueLeavesItsObjectOutOfThatVariableAndItsPairsOnly) {
  for (float missing : {-1.0f, -0.001f, std::nanf("")}) {
    auto rows = kOneMissing;
    rows[1][1] = missing;
    Pass s(2, 3, rows);
    // Variable 2 over objects 1, 3, 4: 2 4 6, mean 4, variance 4.
    EXPECT_EQ(s.vcount[1], 3.0f);
    EXPECT_EQ(s.st.mean[1], 4.0f);
    EXPECT_EQ(s.st.sd[1], 2.0f);
    // The other variables keep all four objects.
    EXPECT_EQ(s.vcount[0], 4.0f);
    EXPECT_EQ(s.vcount[2], 4.0f);
    EXPECT_EQ(s.st.mean[0], 2.5f);
    EXPECT_EQ(s.st.mean[2], 2.75f);
    expect_close(s.st.sd[2], std::sqrt(8.75 / 3.0), "sd 3");
    // Pair counts: 3 for every pair with variable 2, 4 for the others.
    EXPECT_EQ(s.pairs(1, 1), 4.0f);
    EXPECT_EQ(s.pairs(1, 2), 3.0f);
    EXPECT_EQ(s.pairs(2, 2), 3.0f);
    EXPECT_EQ(s.pairs(1, 3), 4.0f);
    EXPECT_EQ(s.pairs(2, 3), 3.0f);
    EXPECT_EQ(s.pairs(3, 3), 4.0f);
    // Covariances worked by hand over the common objects.
    expect_close(s.at(1, 2), 3.0, "cov 12 over objects 1 3 4");
    expect_close(s.at(2, 3), 4.0, "cov 23 over objects 1 3 4");
    expect_close(s.at(1, 3), 5.5 / 3.0, "cov 13 over all objects");
    expect_close(s.at(2, 2), 4.0, "var 2");
    for (auto [i, j] : {std::pair{1, 2}, {2, 3}, {1, 3}, {1, 1}})
      expect_close(s.at(i, j), textbook(rows, i, j).cov, "textbook cov");
    // The object's sum of squares skips its missing value.
    EXPECT_EQ(s.object_ssq[1], 13.0f);
    EXPECT_EQ(s.object_ssq[0], 6.0f);
  }
}

TEST(Statistics, CorrelationsWithAMissingValueUseTheDeviationsOfTheCommonObjects) {
  Pass s(3, 3, kOneMissing);
  for (std::size_t i = 1; i <= 3; ++i) EXPECT_EQ(s.at(i, i), 1.0f) << i;
  // r12 = 3 / (2 sqrt(7/3)): variable 1 over objects 1 3 4 has variance 7/3,
  // not the 5/3 of all four objects.
  expect_close(s.at(1, 2), 3.0 / (2.0 * std::sqrt(7.0 / 3.0)), "r12");
  expect_close(s.at(2, 3), 4.0 / (2.0 * std::sqrt(13.0 / 3.0)), "r23");
  for (auto [i, j] : {std::pair{1, 2}, {2, 3}, {1, 3}})
    expect_close(s.at(i, j), textbook(kOneMissing, i, j).corr, "textbook r");
  // Pooled variance: the raw variances over the present values.
  expect_close(s.st.pooled_variance, 5.0 / 3.0 + 4.0 + 8.75 / 3.0, "pooled");
}

TEST(Statistics, CrossProductsWithAMissingValueSumThePresentPairsOnly) {
  Pass s(1, 3, kOneMissing);
  EXPECT_EQ(s.at(1, 1), 30.0f);
  EXPECT_EQ(s.at(1, 2), 38.0f);  // 2 + 12 + 24
  EXPECT_EQ(s.at(2, 2), 56.0f);  // 4 + 16 + 36
  EXPECT_EQ(s.at(1, 3), 33.0f);  // 1 + 6 + 6 + 20
  EXPECT_EQ(s.at(2, 3), 40.0f);  // 2 + 8 + 30
  EXPECT_EQ(s.at(3, 3), 39.0f);
}

TEST(Statistics, AValueOfZeroIsPresent) {
  Pass s(2, 1, {{0}, {2}, {4}});
  EXPECT_EQ(s.vcount[0], 3.0f);
  EXPECT_EQ(s.st.mean[0], 2.0f);
  EXPECT_EQ(s.at(1, 1), 4.0f);
}

TEST(Statistics, ZeroVarianceFlag) {
  // A constant variable, for every type.
  for (std::int32_t type : {1, 2, 3}) {
    Pass s(type, 2, {{2, 3}, {4, 3}, {6, 3}});
    EXPECT_TRUE(s.st.zero_variance) << type;
  }
  // A variable with a single present value: its deviation is not a number.
  EXPECT_TRUE(Pass(2, 2, {{1, 1}, {2, M}, {3, M}}).st.zero_variance);
  // A small but real spread is kept.
  EXPECT_FALSE(Pass(2, 1, {{1000.0f}, {1000.5f}, {1001.0f}}).st.zero_variance);
}

// --------------------------------------------------------------- printing

class StatisticsReport : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("orthaxis_statistics_" + std::string(info->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs `body` with a printer on a report file and a console; fills the
  // report's records and the console's bytes.
  template <typename Body>
  void capture(Body body) {
    const std::string path = (dir_ / "report.txt").string();
    std::FILE* tmp = std::tmpfile();
    ASSERT_NE(tmp, nullptr);
    {
      textio::RecordFile report(9, path, textio::RecordFile::Open::kReplace);
      textio::Console console(tmp);
      textio::Printer print(report, console);
      body(print);
      report.close();
      console.finish();
    }
    std::rewind(tmp);
    console_.clear();
    for (int ch; (ch = std::fgetc(tmp)) != EOF;) console_ += static_cast<char>(ch);
    std::fclose(tmp);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    report_.clear();
    std::string cur;
    for (char c : bytes) {
      if (c == '\n') {
        report_.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    ASSERT_TRUE(cur.empty()) << "report does not end in a line end";
  }

  // Every record went to the console too, in the same order.
  void expect_console_copy() const {
    std::string joined;
    for (const auto& r : report_) joined += r + "\n";
    EXPECT_EQ(console_, joined);
  }

  bool report(std::int32_t type, Pass& s, const Labels& labels) {
    bool ok = false;
    capture([&](textio::Printer& print) {
      ok = report_statistics(print, analysis_type_of(type), s.p, s.a, s.st, labels);
    });
    return ok;
  }

  std::filesystem::path dir_;
  std::vector<std::string> report_;
  std::string console_;
};

// The header of the block, from its format, with V = 5.
std::vector<std::string> header_with_pooled_variance_5() {
  return {"",
          "",
          "",
          "     VARIABLES STATISTICS",
          "",
          "     POOLED VARIANCE =" + std::string(32, ' ') + "5.0000",
          "",
          " VARIABLE       MEAN    STANDARD DEVIATION              VARIANCE    VARIANCE",
          std::string(70, ' ') + "AS %",
          "",
          ""};
}

// x1 = 2 4 6 (mean 4, sd 2, variance 4), x2 = 1 2 3 (mean 2, sd 1,
// variance 1): V = 5, shares 80 and 20 %.
const std::vector<std::vector<float>> kClean = {{2, 1}, {4, 2}, {6, 3}};

TEST_F(StatisticsReport, UnlabelledLinesByteForByte) {
  Pass s(2, 2, kClean);
  ASSERT_TRUE(report(2, s, Labels{}));
  auto expected = header_with_pooled_variance_5();
  // (I6,E16.6,E20.6,E22.6,E11.4)
  expected.push_back("     1    0.400000E+01        0.200000E+01          0.400000E+01 0.8000E+02");
  expected.push_back("     2    0.200000E+01        0.100000E+01          0.100000E+01 0.2000E+02");
  EXPECT_EQ(report_, expected);
  expect_console_copy();
}

TEST_F(StatisticsReport, LabelledLinesByteForByte) {
  Pass s(3, 2, kClean);
  const std::vector<std::string> names = {"LENGTH  ", "WIDTH   "};
  ASSERT_TRUE(report(3, s, Labels{true, names}));
  auto expected = header_with_pooled_variance_5();
  // (I4,1X,A8,1X,E8.3,E20.6,E22.6,F11.4): E8.3 has no room for the leading zero.
  expected.push_back("   1 LENGTH   .400E+01        0.200000E+01          0.400000E+01    80.0000");
  expected.push_back("   2 WIDTH    .200E+01        0.100000E+01          0.100000E+01    20.0000");
  EXPECT_EQ(report_, expected);
  expect_console_copy();
}

TEST_F(StatisticsReport, CrossProductsAddTheSumsOfSquaresBlock) {
  Pass s(1, 2, kClean);
  ASSERT_TRUE(report(1, s, Labels{}));
  ASSERT_EQ(report_.size(), 11u + 2u + 10u);
  const std::vector<std::string> squares(report_.begin() + 13, report_.end());
  const std::vector<std::string> expected = {
      "",
      " SUM OF SQUARED DISTANCES FROM ORIGIN FOR EACH VAR.",
      " VARIABLE      SUM OF SQUARES",
      "",
      "     1    0.560000E+02",  // 4 + 16 + 36, the line ends after the second field
      "     2    0.140000E+02",  // 1 + 4 + 9
      "",
      " TOTAL SUM OF SQUARES =             70.0000",
      "",
      ""};
  EXPECT_EQ(squares, expected);
  expect_console_copy();
}

const std::vector<std::string> kZeroVarianceLines = {
    "", "", "   ABNORMAL TERMINATION. REMOVE THE VARIABLE(S) WITH ZERO VARIANCE AND RESTART", "",
    ""};

TEST_F(StatisticsReport, ConstantVariableStopsAfterTheFullBlock) {
  // x2 = 3 3 3 has no spread.
  Pass s(3, 2, {{2, 3}, {4, 3}, {6, 3}});
  ASSERT_TRUE(s.st.zero_variance);
  EXPECT_FALSE(report(3, s, Labels{}));
  ASSERT_EQ(report_.size(), 11u + 2u + 5u);
  EXPECT_EQ(report_[11], "     1    0.400000E+01        0.200000E+01          0.400000E+01 0.1000E+03");
  EXPECT_EQ(report_[12].substr(0, 22), "     2    0.300000E+01");
  EXPECT_EQ(std::vector<std::string>(report_.begin() + 13, report_.end()), kZeroVarianceLines);
  expect_console_copy();
}

TEST_F(StatisticsReport, ConstantVariableWithCrossProductsPrintsTheSumsOfSquaresFirst) {
  Pass s(1, 2, {{2, 3}, {4, 3}, {6, 3}});
  ASSERT_TRUE(s.st.zero_variance);
  EXPECT_FALSE(report(1, s, Labels{}));
  ASSERT_EQ(report_.size(), 11u + 2u + 10u + 5u);
  EXPECT_EQ(report_[17], "     1    0.560000E+02");
  EXPECT_EQ(report_[18], "     2    0.270000E+02");
  EXPECT_EQ(report_[20], " TOTAL SUM OF SQUARES =             83.0000");
  EXPECT_EQ(std::vector<std::string>(report_.begin() + 23, report_.end()), kZeroVarianceLines);
  expect_console_copy();
}

// Eight objects, four variables, each with four present values with spread;
// variables 2 and 3 have no object in common, nor have variables 1 and 4.
// Every other pair shares two objects with spread in both.
const std::vector<std::vector<float>> kDisjointPairs = {
    {1, 1, M, M}, {2, 3, M, M}, {3, M, 1, M}, {5, M, 2, M},
    {M, 2, M, 1}, {M, 5, M, 4}, {M, M, 4, 2}, {M, M, 6, 7}};

std::string undefined_line(int c, int r) {
  char buf[128];
  std::snprintf(buf, sizeof buf,
                "   ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES%5d AND%5d IS UNDEFINED", c, r);
  return buf;
}

TEST_F(StatisticsReport, UndefinedResemblanceNamesTheFirstElementInPackedOrder) {
  // Packed order runs row by row: (3,2) at position 6 comes before (4,1) at
  // position 7, though column 1 comes before column 2.
  for (std::int32_t type : {2, 3}) {
    Pass s(type, 4, kDisjointPairs);
    ASSERT_FALSE(s.st.zero_variance) << type;
    EXPECT_FALSE(std::isfinite(s.at(2, 3)));
    EXPECT_FALSE(std::isfinite(s.at(1, 4)));
    EXPECT_FALSE(report(type, s, Labels{})) << type;
    ASSERT_EQ(report_.size(), 11u + 4u + 5u);
    const std::vector<std::string> tail(report_.begin() + 15, report_.end());
    const std::vector<std::string> expected = {"", "", undefined_line(2, 3), "", ""};
    EXPECT_EQ(tail, expected) << type;
    EXPECT_EQ(tail[2],
              "   ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES    2 AND    3 IS UNDEFINED");
    expect_console_copy();
  }
}

TEST_F(StatisticsReport, CrossProductsOfDisjointVariablesAreZeroNotUndefined) {
  Pass s(1, 4, kDisjointPairs);
  EXPECT_EQ(s.at(2, 3), 0.0f);
  EXPECT_EQ(s.at(1, 2), 7.0f);  // 1*1 + 2*3
  EXPECT_TRUE(report(1, s, Labels{}));
}

TEST_F(StatisticsReport, PairWithOnlyOneCommonObjectIsUndefined) {
  // Variables 2 and 3 meet in object 3 only.
  const std::vector<std::vector<float>> rows = {
      {1, M, 1}, {2, M, 3}, {3, 4, 2}, {4, 6, M}};
  Pass s(2, 3, rows);
  ASSERT_FALSE(s.st.zero_variance);
  EXPECT_FALSE(report(2, s, Labels{}));
  ASSERT_FALSE(report_.empty());
  EXPECT_EQ(report_[report_.size() - 3], undefined_line(2, 3));
}

TEST_F(StatisticsReport, PairWithoutSpreadOverItsCommonObjects) {
  // Variables 1 and 2 meet in objects 1 and 2, where variable 2 is 5 both
  // times: their covariance is 0, their correlation 0/0.
  // Variable 2 is missing in objects 3 and 4 and has spread only through object 5.
  const std::vector<std::vector<float>> design = {
      {1, 5, 1}, {2, 5, 2}, {3, M, 4}, {4, M, 3}, {M, 8, 6}};
  Pass cov(2, 3, design);
  ASSERT_FALSE(cov.st.zero_variance);
  EXPECT_EQ(cov.at(1, 2), 0.0f);
  EXPECT_TRUE(report(2, cov, Labels{}));

  Pass cor(3, 3, design);
  ASSERT_FALSE(cor.st.zero_variance);
  EXPECT_FALSE(std::isfinite(cor.at(1, 2)));
  EXPECT_FALSE(report(3, cor, Labels{}));
  EXPECT_EQ(report_[report_.size() - 3], undefined_line(1, 2));
}

TEST_F(StatisticsReport, EveryTypeStopsOnAResemblanceThatIsNotFinite) {
  // Sums beyond single precision, as a cross product can reach.
  for (std::int32_t type : {1, 2, 3}) {
    Pass s(type, 2, kClean);
    s.a[packed_index(2, 1)] = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(report(type, s, Labels{})) << type;
    ASSERT_FALSE(report_.empty());
    EXPECT_EQ(report_[report_.size() - 3], undefined_line(1, 2)) << type;
  }
}

}  // namespace
}  // namespace orthaxis::analysis
