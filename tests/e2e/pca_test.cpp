// Whole PCA runs on small data sets, checked against hand-worked values and
// mathematical properties of the results: eigenvalues of a 2x2 correlation
// matrix, percentages, the lowering of q, loadings as correlations with the
// component scores, record and line layouts, and the abnormal stops.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

using Rows = std::vector<std::vector<double>>;

// The twelve run values, by name.
struct RunValues {
  int n = 0, p = 0, type = 3, matrix = 0, q = 2, scaling = 0, object_labels = 0,
      variable_labels = 0, printout = 0, variable_option = 0, object_norm = 0, orientation = 1;
  std::string values() const {
    std::ostringstream s;
    s << n << ' ' << p << ' ' << type << ' ' << matrix << ' ' << q << ' ' << scaling << ' '
      << object_labels << ' ' << variable_labels << ' ' << printout << ' ' << variable_option
      << ' ' << object_norm << ' ' << orientation;
    return s.str();
  }
};

const std::string kTitle = "Small test data";

Outcome run_pca(Case& c, const RunValues& s, const Rows& rows) {
  std::ostringstream d;
  d << kTitle << "\n" << rows.size() << ' ' << rows[0].size() << "\n";
  for (const auto& r : rows) {
    for (double v : r) d << ' ' << v;
    d << "\n";
  }
  c.write("data.dat", d.str());
  c.setup(s.values(), {"data.dat", "obj.sco", "var.sco", "var.lab", "obj.lab", "matrix.mat"});
  return c.run();
}

std::vector<double> percentages(const std::string& report) {
  return numbers_between(report, "EIGENVALUES AS PERCENT\n", "CUMULATIVE PERCENTAGE");
}
std::vector<double> cumulative(const std::string& report) {
  return numbers_between(report, "CUMULATIVE PERCENTAGE OF EIGENVALUES\n", "SQUARE ROOTS");
}

// Points of a score file: two heading records, then each point's r values
// in "(8F10.4)" records. Checks the record layout on the way.
Rows score_file(const Case& c, const std::string& name, std::size_t points, std::size_t r) {
  auto rec = c.lines(name);
  const std::size_t per_point = r == 0 ? 1 : (r + 7) / 8;
  EXPECT_EQ(rec.size(), 2 + points * per_point) << name;
  Rows out;
  if (rec.size() != 2 + points * per_point) return out;
  for (std::size_t i = 0; i < points; ++i) {
    std::vector<double> v;
    for (std::size_t k = 0; k < per_point; ++k) {
      const std::string& line = rec[2 + i * per_point + k];
      const std::size_t want = std::min<std::size_t>(8, r - 8 * k);
      EXPECT_EQ(line.size(), r == 0 ? 0 : 10 * want) << name << " point " << i + 1;
      for (std::size_t f = 0; f + 10 <= line.size(); f += 10)
        v.push_back(std::strtod(line.substr(f, 10).c_str(), nullptr));
    }
    out.push_back(v);
  }
  return out;
}

// The integers of a free-format record.
std::vector<long> integers(const std::string& record) {
  std::vector<long> out;
  std::istringstream in(record);
  for (long v; in >> v;) out.push_back(v);
  return out;
}

// Eigenvector j of EIGENV.txt ("  VECTOR   j" then the p elements).
std::vector<double> eigenvector(const Case& c, int j) {
  char head[32], next[32];
  std::snprintf(head, sizeof head, "  VECTOR%4d\n", j);
  std::snprintf(next, sizeof next, "  VECTOR%4d\n", j + 1);
  return numbers_between(c.read("EIGENV.txt"), head, next);
}

double pearson(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  double mx = 0, my = 0;
  for (std::size_t i = 0; i < x.size(); ++i) mx += x[i] / n, my += y[i] / n;
  double sxx = 0, syy = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

std::vector<double> column(const Rows& rows, std::size_t j) {
  std::vector<double> out;
  for (const auto& r : rows) out.push_back(r[j]);
  return out;
}

// Correlated measurements without missing values: a common size factor, a
// second factor and a small deterministic disturbance, all positive.
Rows measurements(std::size_t n, std::size_t p) {
  Rows rows(n, std::vector<double>(p));
  std::uint32_t state = 12345;
  auto next = [&] {
    state = state * 1103515245u + 12345u;
    return static_cast<double>((state >> 8) % 1000) / 1000.0;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const double size = 1.0 + 3.0 * next();
    const double shape = next();
    for (std::size_t j = 0; j < p; ++j) {
      const double v = 10.0 + size * (1.0 + 0.3 * static_cast<double>(j)) +
                       shape * (j % 2 == 0 ? 2.0 : -1.5) + 1.5 * next();
      rows[i][j] = std::round(v * 100.0) / 100.0;
    }
  }
  return rows;
}

void expect_abnormal_end(const Case& c, const Outcome& o, const std::string& line) {
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(c.exists("T.TMP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("EIGENV.ST$"));
  const std::string tail = "\n" + line + "\n\n\n STOP  \n";
  ASSERT_GE(o.out.size(), tail.size());
  EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
  const auto report = c.lines("ORTHAXIS.ST$");
  ASSERT_GE(report.size(), 5u);
  const std::vector<std::string> last(report.end() - 5, report.end());
  EXPECT_EQ(last, (std::vector<std::string>{"", "", line, "", ""}));
}

// ------------------------------------------------------------ eigenvalues

TEST(Pca, TwoByTwoCorrelationGivesOnePlusAndMinusR) {
  // x1 = 1 2 3 4, x2 = 1 3 2 6: r = 7 / sqrt(70).
  Case c;
  RunValues s;
  s.n = 4, s.p = 2, s.type = 3, s.q = 2;
  Outcome o = run_pca(c, s, {{1, 1}, {2, 3}, {3, 2}, {4, 6}});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("T.TMP"));
  const double r = 7.0 / std::sqrt(70.0);
  const std::string report = c.read("ORTHAXIS.ST$");
  auto ev = eigenvalues(report);
  ASSERT_EQ(ev.size(), 2u);
  // Four significant digits in E12.4; the square roots below carry six decimals.
  EXPECT_NEAR(ev[0], 1 + r, 5e-4);
  EXPECT_NEAR(ev[1], 1 - r, 5e-5);
  // The positive sum is the trace, p.
  auto sum = numbers_between(report, "SUM OF POSITIVE EIGENVALUES =", "EIGENVALUES");
  ASSERT_EQ(sum.size(), 1u);
  EXPECT_NEAR(sum[0], 2.0, 1e-6);
  auto pc = percentages(report);
  ASSERT_EQ(pc.size(), 2u);
  EXPECT_NEAR(pc[0], 50 * (1 + r), 0.006);
  EXPECT_NEAR(pc[1], 50 * (1 - r), 0.006);
  auto cum = cumulative(report);
  ASSERT_EQ(cum.size(), 2u);
  EXPECT_NEAR(cum[1], 100.0, 0.006);
  auto roots = numbers_between(report, "SQUARE ROOTS OF EIGENVALUES\n", "EIGENVECTORS");
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_NEAR(roots[0], std::sqrt(1 + r), 2e-6);
  EXPECT_NEAR(roots[1], std::sqrt(1 - r), 2e-6);
  // Eigenvectors of any 2x2 correlation matrix: (1, 1) and (1, -1) over sqrt 2.
  auto v1 = eigenvector(c, 1), v2 = eigenvector(c, 2);
  ASSERT_EQ(v1.size(), 2u);
  ASSERT_EQ(v2.size(), 2u);
  for (double e : {v1[0], v1[1], v2[0], v2[1]}) EXPECT_NEAR(std::abs(e), std::sqrt(0.5), 1e-5);
  EXPECT_GT(v1[0] * v1[1], 0);
  EXPECT_LT(v2[0] * v2[1], 0);
  // EIGENV.ST$: the count, then the percentages.
  auto ef = c.lines("EIGENV.ST$");
  ASSERT_EQ(ef.size(), 2u);
  EXPECT_EQ(integers(ef[0]), std::vector<long>{2});
  auto saved = numbers_between(ef[1], "", "");
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_NEAR(saved[0], 50 * (1 + r), 1e-3);
  EXPECT_NEAR(saved[0] + saved[1], 100.0, 1e-3);
}

// Six objects, three variables; each pair of variables shares two objects,
// over which variables 1-2 and 1-3 correlate +1 and 2-3 correlate -1. The
// correlation matrix [[1,1,1],[1,1,-1],[1,-1,1]] has eigenvalues 2, 2, -1.
const Rows kIndefinite = {{1, 1, -1}, {2, 2, -1}, {1, -1, 1},
                          {2, -1, 2}, {-1, 1, 2}, {-1, 2, 1}};

TEST(Pca, QIsLoweredToThePositiveCountBeforeTheScoreFiles) {
  Case c;
  RunValues s;
  s.n = 6, s.p = 3, s.type = 3, s.q = 3;
  Outcome o = run_pca(c, s, kIndefinite);
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_NE(report.find(" NO. OF COMPONENTS RETAINED =        3\n"), std::string::npos);
  EXPECT_NE(report.find("   NUMBER OF POSITIVE EIGENVALUES =     2\n"), std::string::npos);
  auto ev = eigenvalues(report);
  ASSERT_EQ(ev.size(), 3u);  // all p, the negative one included
  EXPECT_NEAR(ev[0], 2.0, 1e-3);
  EXPECT_NEAR(ev[1], 2.0, 1e-3);
  EXPECT_NEAR(ev[2], -1.0, 1e-3);
  auto pc = percentages(report);
  ASSERT_EQ(pc.size(), 2u);
  EXPECT_NEAR(pc[0] + pc[1], 100.0, 0.011);
  EXPECT_EQ(cumulative(report).size(), 2u);
  auto ef = c.lines("EIGENV.ST$");
  ASSERT_EQ(ef.size(), 2u);
  EXPECT_EQ(integers(ef[0]), std::vector<long>{2});
  EXPECT_EQ(numbers_between(ef[1], "", "").size(), 2u);
  EXPECT_TRUE(eigenvector(c, 3).empty());
  // Both score files carry the lowered q.
  auto obj = c.lines("obj.sco");
  ASSERT_GE(obj.size(), 2u);
  EXPECT_EQ(obj[0], " Component scores from " + kTitle + std::string(100 - kTitle.size(), ' '));
  EXPECT_EQ(integers(obj[1]), (std::vector<long>{6, 2}));
  EXPECT_EQ(score_file(c, "obj.sco", 6, 2).size(), 6u);
  auto var = c.lines("var.sco");
  ASSERT_GE(var.size(), 2u);
  EXPECT_EQ(var[0], " PCA loadings from " + kTitle + std::string(100 - kTitle.size(), ' '));
  EXPECT_EQ(integers(var[1]), (std::vector<long>{3, 2}));
  EXPECT_EQ(score_file(c, "var.sco", 3, 2).size(), 3u);
}

TEST(Pca, QOfZeroStaysZero) {
  Case c;
  RunValues s;
  s.n = 5, s.p = 3, s.type = 3, s.q = 0;
  Outcome o = run_pca(c, s, measurements(5, 3));
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  auto obj = c.lines("obj.sco");
  ASSERT_GE(obj.size(), 2u);
  EXPECT_EQ(integers(obj[1]), (std::vector<long>{5, 0}));
  score_file(c, "obj.sco", 5, 0);  // one empty record per object
  auto var = c.lines("var.sco");
  ASSERT_GE(var.size(), 2u);
  EXPECT_EQ(integers(var[1]), (std::vector<long>{3, 0}));
  score_file(c, "var.sco", 3, 0);
  // Headings and point numbers, no values.
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_NE(report.find("   COMPONENT SCORES\n\n\n    1\n    2\n    3\n    4\n    5\n"),
            std::string::npos);
  EXPECT_NE(report.find("   SCORES FOR VARIABLES\n\n  VARIABLE   1\n\n  VARIABLE   2\n\n"),
            std::string::npos);
  EXPECT_EQ(o.out.find("HORIZONTAL AXIS IS DIMENSION"), std::string::npos);
}

// ------------------------------------------------------------ scores

TEST(Pca, CorrelationLoadingsAreCorrelationsWithTheScoresAndTheirSquaresAddToOne) {
  const Rows data = measurements(12, 4);
  Case c;
  RunValues s;
  s.n = 12, s.p = 4, s.type = 3, s.q = 4, s.variable_option = 0;
  Outcome o = run_pca(c, s, data);
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_NE(c.read("ORTHAXIS.ST$").find("NUMBER OF POSITIVE EIGENVALUES =     4"), std::string::npos);
  Rows scores = score_file(c, "obj.sco", 12, 4);
  Rows loadings = score_file(c, "var.sco", 4, 4);
  ASSERT_EQ(scores.size(), 12u);
  ASSERT_EQ(loadings.size(), 4u);
  for (std::size_t v = 0; v < 4; ++v) {
    double sum = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      sum += loadings[v][k] * loadings[v][k];
      EXPECT_NEAR(loadings[v][k], pearson(column(data, v), column(scores, k)), 3e-3)
          << "variable " << v + 1 << " axis " << k + 1;
    }
    EXPECT_NEAR(sum, 1.0, 1e-3) << "variable " << v + 1;
  }
}

TEST(Pca, CovarianceOptionsGiveCorrelationsCovariancesOrPlainEigenvectors) {
  const Rows data = measurements(12, 4);
  Rows by_option[3];
  std::vector<double> lambda;
  for (int option = 0; option < 3; ++option) {
    Case c;
    RunValues s;
    s.n = 12, s.p = 4, s.type = 2, s.q = 4, s.variable_option = option;
    Outcome o = run_pca(c, s, data);
    ASSERT_EQ(o.status, 0) << o.err;
    by_option[option] = score_file(c, "var.sco", 4, 4);
    ASSERT_EQ(by_option[option].size(), 4u);
    if (option == 0) {
      Rows scores = score_file(c, "obj.sco", 12, 4);
      for (std::size_t v = 0; v < 4; ++v)
        for (std::size_t k = 0; k < 2; ++k)
          EXPECT_NEAR(by_option[0][v][k], pearson(column(data, v), column(scores, k)), 3e-3)
              << "variable " << v + 1 << " axis " << k + 1;
      lambda = eigenvalues(c.read("ORTHAXIS.ST$"));
    }
    if (option == 2) {
      // The plain eigenvector elements, as listed in EIGENV.txt.
      for (int k = 1; k <= 4; ++k) {
        auto e = eigenvector(c, k);
        ASSERT_EQ(e.size(), 4u);
        double norm = 0;
        for (std::size_t v = 0; v < 4; ++v) {
          EXPECT_NEAR(by_option[2][v][k - 1], e[v], 6e-5) << v << ' ' << k;
          norm += e[v] * e[v];
        }
        EXPECT_NEAR(norm, 1.0, 1e-4);
      }
    }
  }
  // Covariances: element times sqrt(lambda); their squares over all axes add
  // to the variance of the variable.
  ASSERT_EQ(lambda.size(), 4u);
  for (std::size_t v = 0; v < 4; ++v) {
    double sum = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_NEAR(by_option[1][v][k], by_option[2][v][k] * std::sqrt(lambda[k]),
                  2e-3 * std::max(1.0, std::sqrt(lambda[0])));
      sum += by_option[1][v][k] * by_option[1][v][k];
    }
    const auto x = column(data, v);
    double mean = 0, ss = 0;
    for (double e : x) mean += e / 12;
    for (double e : x) ss += (e - mean) * (e - mean);
    EXPECT_NEAR(sum, ss / 11, 2e-3 * ss / 11) << v;
  }
}

TEST(Pca, CrossProductsIgnoreTheScoreOptions) {
  const Rows data = measurements(10, 3);
  Case plain, optioned;
  RunValues s;
  s.n = 10, s.p = 3, s.type = 1, s.q = 3, s.printout = 1;
  Outcome a = run_pca(plain, s, data);
  s.variable_option = 2, s.object_norm = 1;
  Outcome b = run_pca(optioned, s, data);
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  for (const char* f : {"ORTHAXIS.ST$", "obj.sco", "var.sco", "EIGENV.ST$", "EIGENV.txt"})
    EXPECT_EQ(plain.read(f), optioned.read(f)) << f;
  const std::string report = optioned.read("ORTHAXIS.ST$");
  EXPECT_NE(report.find(" VAR. SCORE OPTION =             CORRELATIONS OF VAR. WITH COMPONENTS"),
            std::string::npos);
  EXPECT_NE(report.find(" OBJ. SCORE =                    NORMALIZED TO LAMBDA"),
            std::string::npos);
  EXPECT_NE(report.find("   PERCENTAGE OF SSQ OF OBJECTS ACCOUNTED FOR BY EACH COMPONENT"),
            std::string::npos);
  // With every axis kept, the shares of an object's raw sum of squares add
  // to 100.
  {
    auto lines = Case::split(report);
    std::size_t at = 0;
    while (at < lines.size() &&
           lines[at] != "   PERCENTAGE OF SSQ OF OBJECTS ACCOUNTED FOR BY EACH COMPONENT")
      ++at;
    ASSERT_LE(at + 3 + 10, lines.size());
    for (int i = 1; i <= 10; ++i) {
      std::istringstream in(lines[at + 2 + static_cast<std::size_t>(i)]);
      int number = 0;
      double a = 0, b = 0, d = 0;
      in >> number >> a >> b >> d;
      EXPECT_EQ(number, i);
      EXPECT_NEAR(a + b + d, 100.0, 0.002) << "object " << i;
    }
  }
  // Type 1 variable scores are the correlations of the raw variables with
  // the component scores.
  Rows scores = score_file(optioned, "obj.sco", 10, 3);
  Rows loadings = score_file(optioned, "var.sco", 3, 3);
  ASSERT_EQ(loadings.size(), 3u);
  for (std::size_t v = 0; v < 3; ++v)
    for (std::size_t k = 0; k < 2; ++k)
      EXPECT_NEAR(loadings[v][k], pearson(column(data, v), column(scores, k)), 3e-3)
          << "variable " << v + 1 << " axis " << k + 1;
}

TEST(Pca, NineAxesTakeTwoRecordsAndTwoListLinesPerPoint) {
  const Rows data = measurements(30, 9);
  Case c;
  RunValues s;
  s.n = 30, s.p = 9, s.type = 3, s.q = 9, s.printout = 1;
  Outcome o = run_pca(c, s, data);
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string report = c.read("ORTHAXIS.ST$");
  ASSERT_NE(report.find("NUMBER OF POSITIVE EIGENVALUES =     9"), std::string::npos);
  // Percentages over nine axes add to 100.
  auto pc = percentages(report);
  ASSERT_EQ(pc.size(), 9u);
  double sum = 0;
  for (double v : pc) sum += v;
  EXPECT_NEAR(sum, 100.0, 0.046);
  EXPECT_NEAR(cumulative(report).back(), 100.0, 0.006);
  auto saved = numbers_between(c.lines("EIGENV.ST$")[1], "", "");
  ASSERT_EQ(saved.size(), 9u);
  sum = 0;
  for (double v : saved) sum += v;
  EXPECT_NEAR(sum, 100.0, 1e-3);
  // Files: eight values, then one.
  EXPECT_EQ(score_file(c, "var.sco", 9, 9).size(), 9u);
  EXPECT_EQ(score_file(c, "obj.sco", 30, 9).size(), 30u);
  // List: the line naming the variable, then five values and four.
  auto lines = Case::split(report);
  std::size_t at = 0;
  while (at < lines.size() && lines[at] != "   SCORES FOR VARIABLES") ++at;
  ASSERT_LT(at + 2 + 27, lines.size() + 1);
  for (int v = 1; v <= 9; ++v) {
    const std::size_t k = at + 2 + 3 * static_cast<std::size_t>(v - 1);
    char head[32];
    std::snprintf(head, sizeof head, "  VARIABLE%4d", v);
    EXPECT_EQ(lines[k], head);
    EXPECT_EQ(lines[k + 1].size(), 60u) << v;
    EXPECT_EQ(lines[k + 2].size(), 48u) << v;
  }
  // Shares of each variable's variance over all nine axes add to 100.
  at = 0;
  while (at < lines.size() &&
         lines[at] != "   PERCENTAGE OF VARIANCE OF VARIABLES ACCOUNTED FOR BY EACH COMPONENT")
    ++at;
  ASSERT_LE(at + 3 + 27, lines.size());
  for (int v = 1; v <= 9; ++v) {
    const std::size_t k = at + 3 + 3 * static_cast<std::size_t>(v - 1);
    char head[32];
    std::snprintf(head, sizeof head, "  VARIABLE%4d", v);
    EXPECT_EQ(lines[k], head);
    std::istringstream in(lines[k + 1] + " " + lines[k + 2]);
    double total = 0;
    int count = 0;
    for (double x; in >> x; ++count) total += x;
    EXPECT_EQ(count, 9);
    EXPECT_NEAR(total, 100.0, 0.005) << "variable " << v;
  }
  // Objects: "(I5,5F12.3/(5X,5F12.3))".
  at = 0;
  while (at < lines.size() && lines[at] != "   COMPONENT SCORES") ++at;
  ASSERT_LT(at + 3 + 60, lines.size() + 1);
  EXPECT_EQ(lines[at + 3].substr(0, 5), "    1");
  EXPECT_EQ(lines[at + 3].size(), 65u);
  EXPECT_EQ(lines[at + 4].substr(0, 5), "     ");
  EXPECT_EQ(lines[at + 4].size(), 53u);
}

TEST(Pca, ScoreNormalisations) {
  // Centred scores x.e: their squares over the objects add to (n - 1) lambda.
  // Normalised to unity they are divided by sqrt((n - 1) lambda), so their
  // squares add to 1, and no share block is printed.
  const Rows data = measurements(9, 3);
  for (int type : {2, 3}) {
    for (int norm : {0, 1}) {
      Case c;
      RunValues s;
      s.n = 9, s.p = 3, s.type = type, s.q = 3, s.object_norm = norm;
      Outcome o = run_pca(c, s, data);
      ASSERT_EQ(o.status, 0) << o.err;
      const std::string report = c.read("ORTHAXIS.ST$");
      auto ev = eigenvalues(report);
      ASSERT_EQ(ev.size(), 3u);
      Rows scores = score_file(c, "obj.sco", 9, 3);
      ASSERT_EQ(scores.size(), 9u);
      for (std::size_t k = 0; k < 3; ++k) {
        double ss = 0, mean = 0;
        for (const auto& r : scores) ss += r[k] * r[k], mean += r[k] / 9;
        EXPECT_NEAR(mean, 0.0, 1e-3) << type << norm << k;
        const double want = norm == 0 ? 8 * ev[k] : 1.0;
        EXPECT_NEAR(ss, want, 2e-3 * std::max(1.0, want)) << type << norm << k;
      }
      EXPECT_EQ(report.find("PERCENTAGE OF VARIANCE OF OBJECTS") != std::string::npos, norm == 0);
    }
  }
}

TEST(Pca, PlotsOnlyWithAtLeastTwoAxes) {
  const Rows data = measurements(8, 3);
  for (int q : {1, 2}) {
    Case c;
    RunValues s;
    s.n = 8, s.p = 3, s.type = 3, s.q = q;
    Outcome o = run_pca(c, s, data);
    ASSERT_EQ(o.status, 0) << o.err;
    std::size_t plots = 0;
    for (auto at = o.out.find("HORIZONTAL AXIS IS DIMENSION"); at != std::string::npos;
         at = o.out.find("HORIZONTAL AXIS IS DIMENSION", at + 1))
      ++plots;
    EXPECT_EQ(plots, q == 1 ? 0u : 2u) << "q = " << q;
    if (q == 1) {
      auto obj = c.lines("obj.sco");
      ASSERT_EQ(obj.size(), 10u);
      EXPECT_EQ(obj[2].size(), 10u);
    }
  }
}

TEST(Pca, ShortPrintoutStillListsEigenvectorsObjectSharesAndScores) {
  const Rows data = measurements(7, 3);
  for (int printout : {0, 1}) {
    Case c;
    RunValues s;
    s.n = 7, s.p = 3, s.type = 3, s.q = 3, s.printout = printout;
    Outcome o = run_pca(c, s, data);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string report = c.read("ORTHAXIS.ST$");
    ASSERT_NE(report.find("NUMBER OF POSITIVE EIGENVALUES =     3"), std::string::npos);
    EXPECT_NE(report.find("   EIGENVECTORS (DIRECTION COSINES)\n"), std::string::npos);
    EXPECT_NE(o.out.find("  VECTOR   1\n"), std::string::npos);
    EXPECT_NE(o.out.find("  VECTOR   3\n"), std::string::npos);
    EXPECT_NE(report.find("   COMPONENT SCORES\n"), std::string::npos);
    EXPECT_NE(report.find("   SCORES FOR VARIABLES\n"), std::string::npos);
    EXPECT_EQ(report.find("RESEMBLANCE MATRIX") != std::string::npos, printout != 0);
    EXPECT_EQ(report.find("PERCENTAGE OF VARIANCE OF VARIABLES") != std::string::npos,
              printout != 0);
    // Shares of each object over all axes add to 100: the eigenvectors are
    // an orthonormal basis of the standardized values.
    auto lines = Case::split(report);
    std::size_t at = 0;
    const std::string heading =
        "   PERCENTAGE OF VARIANCE OF OBJECTS ACCOUNTED FOR BY EACH COMPONENT";
    while (at < lines.size() && lines[at] != heading) ++at;
    ASSERT_LT(at + 3 + 7, lines.size());
    for (int i = 1; i <= 7; ++i) {
      std::istringstream in(lines[at + 2 + static_cast<std::size_t>(i)]);
      int number = 0;
      double a = 0, b = 0, d = 0;
      in >> number >> a >> b >> d;
      EXPECT_EQ(number, i);
      EXPECT_NEAR(a + b + d, 100.0, 0.002) << "object " << i;
    }
  }
}

TEST(Pca, ObjectAtTheMeansHasUndefinedSharesAndTheRunGoesOn) {
  // Object 2 stands at the means (2, 4): its centred sum of squares is 0.
  Case c;
  RunValues s;
  s.n = 4, s.p = 2, s.type = 2, s.q = 2;
  Outcome o = run_pca(c, s, {{1, 4}, {2, 4}, {3, 1}, {2, 7}});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  auto lines = c.lines("ORTHAXIS.ST$");
  std::size_t at = 0;
  while (at < lines.size() &&
         lines[at] != "   PERCENTAGE OF VARIANCE OF OBJECTS ACCOUNTED FOR BY EACH COMPONENT")
    ++at;
  ASSERT_LT(at + 4, lines.size());
  EXPECT_EQ(lines[at + 4], "    2         NaN         NaN");
  at = 0;
  while (at < lines.size() && lines[at] != "   COMPONENT SCORES") ++at;
  ASSERT_LT(at + 4, lines.size());
  EXPECT_EQ(lines[at + 4], "    2       0.000       0.000");
}

// ------------------------------------------------------------ matrix file

TEST(Pca, SavedCorrelationMatrixIsTheFinishedMatrix) {
  const Rows data = measurements(15, 10);
  Case c;
  RunValues s;
  s.n = 15, s.p = 10, s.type = 3, s.matrix = 2, s.q = 2;
  Outcome o = run_pca(c, s, data);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(c.read("ORTHAXIS.ST$").find(" MATRIX SAVED IN FILE matrix.mat"), std::string::npos);
  auto rec = c.lines("matrix.mat");
  ASSERT_EQ(rec.size(), 2u + 8u + 4u);
  EXPECT_EQ(rec[0], " Matrix from " + kTitle + std::string(100 - kTitle.size(), ' '));
  EXPECT_EQ(integers(rec[1]), std::vector<long>{10});
  std::vector<double> values;
  for (std::size_t k = 2; k < rec.size(); ++k)
    for (std::size_t f = 0; f + 10 <= rec[k].size(); f += 10)
      values.push_back(std::strtod(rec[k].substr(f, 10).c_str(), nullptr));
  ASSERT_EQ(values.size(), 55u);
  std::size_t pos = 0;
  for (std::size_t r = 0; r < 10; ++r)
    for (std::size_t col = 0; col <= r; ++col, ++pos) {
      if (col == r) {
        EXPECT_EQ(values[pos], 1.0) << r;
      } else {
        EXPECT_NEAR(values[pos], pearson(column(data, r), column(data, col)), 6e-4)
            << r << ' ' << col;
      }
    }
  // Row 10 ends its second record with 1.000.
  EXPECT_EQ(rec.back().substr(rec.back().size() - 10), "     1.000");
}

// A slash ends a row early and leaves its remaining values as the row
// before left them, zero before the first row: (1, 0), (2, 5), (3, 5).
TEST(Pca, ASlashKeepsTheValuesOfTheRowBeforeAndZeroBeforeTheFirst) {
  Case c;
  RunValues s;
  s.n = 3, s.p = 2, s.type = 2, s.matrix = 2, s.q = 2;
  c.write("data.dat", kTitle + "\n3 2\n1 /\n2 5\n3 /\n");
  c.setup(s.values(), {"data.dat", "obj.sco", "var.sco", "var.lab", "obj.lab", "matrix.mat"});
  const Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  const auto rec = c.lines("matrix.mat");
  ASSERT_EQ(rec.size(), 4u);
  // Covariances over n - 1: var(x1) = 1, cov = 2.5, var(x2) = 25 / 3.
  EXPECT_EQ(rec[2], "     1.000");
  EXPECT_EQ(rec[3], "     2.500     8.333");
}

// ------------------------------------------------------------ stops

const std::string kZeroVarianceLine =
    "   ABNORMAL TERMINATION. REMOVE THE VARIABLE(S) WITH ZERO VARIANCE AND RESTART";

TEST(Pca, ConstantVariableStopsTheRun) {
  for (int type : {1, 2, 3}) {
    Case c;
    RunValues s;
    s.n = 4, s.p = 3, s.type = type, s.q = 2, s.printout = 1;
    Outcome o = run_pca(c, s, {{1, 5, 2}, {2, 5, 7}, {3, 5, 1}, {4, 5, 3}});
    SCOPED_TRACE(type);
    expect_abnormal_end(c, o, kZeroVarianceLine);
    const std::string report = c.read("ORTHAXIS.ST$");
    EXPECT_NE(report.find("     VARIABLES STATISTICS"), std::string::npos);
    const auto squares = report.find(" SUM OF SQUARED DISTANCES FROM ORIGIN FOR EACH VAR.");
    EXPECT_EQ(squares != std::string::npos, type == 1);
    if (type == 1) {
      EXPECT_LT(squares, report.find(kZeroVarianceLine));
    }
    EXPECT_EQ(report.find("RESEMBLANCE MATRIX"), std::string::npos);
  }
}

TEST(Pca, UndefinedResemblanceStopsTheRun) {
  // Variables 2 and 3 meet in object 3 only.
  for (int type : {2, 3}) {
    Case c;
    RunValues s;
    s.n = 4, s.p = 3, s.type = type, s.q = 2;
    Outcome o = run_pca(c, s, {{1, -1, 1}, {2, -1, 3}, {3, 4, 2}, {4, 6, -1}});
    SCOPED_TRACE(type);
    expect_abnormal_end(
        c, o, "   ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES    2 AND    3 IS UNDEFINED");
    EXPECT_NE(c.read("ORTHAXIS.ST$").find("     VARIABLES STATISTICS"), std::string::npos);
  }
}

}  // namespace
}  // namespace orthaxis::e2e
