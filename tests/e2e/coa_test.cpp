// Whole correspondence-analysis runs on small tables, checked against the
// table's total inertia (computed here in double) and the transition
// formulas between object and variable scores under each scaling; layouts,
// plots and the stops on tables the analysis cannot take.

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

using Table = std::vector<std::vector<double>>;

const std::string kDataName = "counts.dat";

struct Options {
  int q = 3, scaling = 0, object_labels = 0, variable_labels = 0;
};

Outcome run_coa(Case& c, const Table& t, const Options& o) {
  std::ostringstream d;
  d << "Counts of four kinds at five places\n" << t.size() << ' ' << t[0].size() << "\n";
  for (const auto& r : t) {
    for (double v : r) d << ' ' << v;
    d << "\n";
  }
  c.write(kDataName, d.str());
  std::ostringstream v;
  v << t.size() << ' ' << t[0].size() << " 4 0 " << o.q << ' ' << o.scaling << ' '
    << o.object_labels << ' ' << o.variable_labels << " 0 0 0 1";
  c.setup(v.str(), {kDataName, "obj.sco", "var.sco", "var.lab", "obj.lab", "matrix.mat"});
  return c.run();
}


std::vector<long> integers(const std::string& record) {
  std::vector<long> out;
  std::istringstream in(record);
  for (long v; in >> v;) out.push_back(v);
  return out;
}

// Points of a score file, checking its record layout: the heading record,
// points and axes, then "(8F10.4)" records per point.
Table score_file(const Case& c, const std::string& name, const std::string& heading,
                 std::size_t points, std::size_t r) {
  auto rec = c.lines(name);
  const std::size_t per_point = r == 0 ? 1 : (r + 7) / 8;
  EXPECT_EQ(rec.size(), 2 + points * per_point) << name;
  Table out;
  if (rec.size() != 2 + points * per_point) return out;
  EXPECT_EQ(rec[0], heading + kDataName + std::string(100 - kDataName.size(), ' '));
  EXPECT_EQ(integers(rec[1]), (std::vector<long>{static_cast<long>(points), static_cast<long>(r)}));
  for (std::size_t i = 0; i < points; ++i) {
    std::vector<double> v;
    for (std::size_t k = 0; k < per_point; ++k) {
      const std::string& line = rec[2 + i * per_point + k];
      const std::size_t want = r == 0 ? 0 : std::min<std::size_t>(8, r - 8 * k);
      EXPECT_EQ(line.size(), 10 * want) << name << " point " << i + 1;
      for (std::size_t f = 0; f + 10 <= line.size(); f += 10)
        v.push_back(std::strtod(line.substr(f, 10).c_str(), nullptr));
    }
    out.push_back(v);
  }
  return out;
}
Table objects(const Case& c, std::size_t n, std::size_t r) {
  return score_file(c, "obj.sco", " CoA obj. scores from ", n, r);
}
Table variables(const Case& c, std::size_t p, std::size_t r) {
  return score_file(c, "var.sco", " CoA var. scores from ", p, r);
}

// Margins of a table.
struct Margins {
  double total = 0;
  std::vector<double> row, col;
};
Margins margins(const Table& t) {
  Margins m;
  m.row.assign(t.size(), 0);
  m.col.assign(t[0].size(), 0);
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < t[i].size(); ++j) {
      m.row[i] += t[i][j];
      m.col[j] += t[i][j];
      m.total += t[i][j];
    }
  return m;
}

// Pearson's chi-square statistic over the grand total.
double total_inertia(const Table& t) {
  const Margins m = margins(t);
  double chi2 = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < t[i].size(); ++j) {
      const double e = m.row[i] * m.col[j] / m.total;
      chi2 += (t[i][j] - e) * (t[i][j] - e) / e;
    }
  return chi2 / m.total;
}

// Weighted mean and weighted mean square of axis k of `points`.
std::pair<double, double> weighted_moments(const Table& points, const std::vector<double>& mass,
                                           double total, std::size_t k) {
  double mean = 0, square = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    mean += mass[i] / total * points[i][k];
    square += mass[i] / total * points[i][k] * points[i][k];
  }
  return {mean, square};
}

const Table kCounts = {
    {10, 2, 3, 1}, {4, 8, 2, 6}, {1, 3, 9, 2}, {6, 1, 4, 7}, {2, 5, 1, 3}};

// Counts 1 .. 20 from a fixed sequence.
Table counts(std::size_t n, std::size_t p) {
  Table t(n, std::vector<double>(p));
  std::uint32_t state = 2024;
  for (auto& r : t)
    for (auto& v : r) {
      state = state * 1664525u + 1013904223u;
      v = static_cast<double>(1 + (state >> 10) % 20);
    }
  return t;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

const std::string kNormalEnd = "\n\n   JOB TERMINATED\n STOP  \n";

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// ------------------------------------------------------------ eigenvalues

TEST(Coa, EigenvaluesAddToTheTotalInertiaWithoutATrivialAxis) {
  Case c;
  Outcome o = run_coa(c, kCounts, Options{});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("T.TMP"));
  EXPECT_TRUE(ends_with(o.out, kNormalEnd));
  const std::string report = c.read("ORTHAXIS.ST$");
  const double inertia = total_inertia(kCounts);
  auto sum = numbers_between(report, "SUM OF POSITIVE EIGENVALUES =", "EIGENVALUES");
  ASSERT_EQ(sum.size(), 1u);
  EXPECT_NEAR(sum[0], inertia, 2e-6 * inertia);
  auto ev = eigenvalues(report);
  ASSERT_EQ(ev.size(), 4u);
  double listed = 0;
  for (double v : ev) {
    listed += v;
    EXPECT_GT(std::abs(v - 1.0), 1e-2) << "trivial axis";
    EXPECT_LT(v, 1.0);
  }
  EXPECT_NEAR(listed, inertia, 1e-3 * inertia);
  // Three axes carry the inertia of a 5 x 4 table; the fourth is zero.
  EXPECT_GT(ev[2], 1e-3);
  EXPECT_LT(std::abs(ev[3]), 1e-6);
}

TEST(Coa, IndependentTableHasNoPositiveEigenvalue) {
  // Proportional rows: every residual is exactly 0, so is every eigenvalue.
  // The eigenvalue report prints its headings with no values, EIGENV.ST$
  // holds 0 and an empty record, and the score blocks have no values.
  Case c;
  Options opt;
  opt.q = 2;
  Outcome o = run_coa(c, {{1, 3}, {1, 3}}, opt);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_TRUE(ends_with(o.out, kNormalEnd));
  EXPECT_EQ(c.lines("EIGENV.ST$"), (std::vector<std::string>{" 0", ""}));
  EXPECT_EQ(c.read("EIGENV.txt"), "");
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_NE(report.find("   NUMBER OF POSITIVE EIGENVALUES =     0\n"), std::string::npos);
  EXPECT_NE(report.find("\n   EIGENVALUES AS PERCENT\n\n\n"
                        "   CUMULATIVE PERCENTAGE OF EIGENVALUES\n\n\n"
                        "   SQUARE ROOTS OF EIGENVALUES\n\n"),
            std::string::npos);
  objects(c, 2, 0);
  variables(c, 2, 0);
  EXPECT_NE(report.find(" SCORES FOR OBJECTS\n\n    1\n    2\n"), std::string::npos);
  EXPECT_EQ(o.out.find("HORIZONTAL AXIS IS DIMENSION"), std::string::npos);
}

// ------------------------------------------------------------ scalings

TEST(Coa, ObjectsAtTheCentroidsOfTheVariables) {
  Case c;
  Options opt;
  opt.scaling = 0;
  Outcome o = run_coa(c, kCounts, opt);
  ASSERT_EQ(o.status, 0) << o.err;
  const Margins m = margins(kCounts);
  const Table f = objects(c, 5, 3), g = variables(c, 4, 3);
  ASSERT_EQ(f.size(), 5u);
  ASSERT_EQ(g.size(), 4u);
  const auto ev = eigenvalues(c.read("ORTHAXIS.ST$"));
  ASSERT_EQ(ev.size(), 4u);
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t i = 0; i < 5; ++i) {
      double centroid = 0;
      for (std::size_t j = 0; j < 4; ++j) centroid += kCounts[i][j] * g[j][k];
      EXPECT_NEAR(f[i][k], centroid / m.row[i], 1e-3) << "object " << i + 1 << " axis " << k + 1;
    }
    // Variables in standard coordinates; objects in principal coordinates,
    // whose weighted variance is the eigenvalue.
    auto [gm, gs] = weighted_moments(g, m.col, m.total, k);
    EXPECT_NEAR(gm, 0.0, 1e-3) << k;
    EXPECT_NEAR(gs, 1.0, 1e-3) << k;
    auto [fm, fs] = weighted_moments(f, m.row, m.total, k);
    EXPECT_NEAR(fm, 0.0, 1e-3) << k;
    EXPECT_NEAR(fs, ev[k], 1e-3 * ev[0]) << k;
  }
  // Variable block (and plot) first.
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_LT(report.find(" SCORES FOR VARIABLES"), report.find(" SCORES FOR OBJECTS"));
  EXPECT_LT(o.out.find(" SCORES FOR VARIABLES"), o.out.find("HORIZONTAL AXIS IS DIMENSION"));
  EXPECT_LT(o.out.find("HORIZONTAL AXIS IS DIMENSION"), o.out.find(" SCORES FOR OBJECTS"));
  EXPECT_EQ(occurrences(o.out, "HORIZONTAL AXIS IS DIMENSION"), 2u);
}

TEST(Coa, SymmetricWeightingGivesStandardCoordinatesForBoth) {
  Case c;
  Options opt;
  opt.scaling = 1;
  Outcome o = run_coa(c, kCounts, opt);
  ASSERT_EQ(o.status, 0) << o.err;
  const Margins m = margins(kCounts);
  const Table f = objects(c, 5, 3), g = variables(c, 4, 3);
  ASSERT_EQ(f.size(), 5u);
  ASSERT_EQ(g.size(), 4u);
  for (std::size_t k = 0; k < 3; ++k) {
    auto [gm, gs] = weighted_moments(g, m.col, m.total, k);
    EXPECT_NEAR(gm, 0.0, 1e-3) << k;
    EXPECT_NEAR(gs, 1.0, 1e-3) << k;
    auto [fm, fs] = weighted_moments(f, m.row, m.total, k);
    EXPECT_NEAR(fm, 0.0, 1e-3) << k;
    EXPECT_NEAR(fs, 1.0, 1e-3) << k;
  }
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_LT(report.find(" SCORES FOR VARIABLES"), report.find(" SCORES FOR OBJECTS"));
}

TEST(Coa, VariablesAtTheCentroidsOfTheObjects) {
  Case c;
  Options opt;
  opt.scaling = 2;
  Outcome o = run_coa(c, kCounts, opt);
  ASSERT_EQ(o.status, 0) << o.err;
  const Margins m = margins(kCounts);
  const Table f = objects(c, 5, 3), g = variables(c, 4, 3);
  ASSERT_EQ(f.size(), 5u);
  ASSERT_EQ(g.size(), 4u);
  const auto ev = eigenvalues(c.read("ORTHAXIS.ST$"));
  ASSERT_EQ(ev.size(), 4u);
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t j = 0; j < 4; ++j) {
      double centroid = 0;
      for (std::size_t i = 0; i < 5; ++i) centroid += kCounts[i][j] * f[i][k];
      EXPECT_NEAR(g[j][k], centroid / m.col[j], 1e-3) << "variable " << j + 1 << " axis " << k + 1;
    }
    auto [fm, fs] = weighted_moments(f, m.row, m.total, k);
    EXPECT_NEAR(fm, 0.0, 1e-3) << k;
    EXPECT_NEAR(fs, 1.0, 1e-3) << k;
    auto [gm, gs] = weighted_moments(g, m.col, m.total, k);
    EXPECT_NEAR(gm, 0.0, 1e-3) << k;
    EXPECT_NEAR(gs, ev[k], 1e-3 * ev[0]) << k;
  }
  // Object block (and plot) first.
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_LT(report.find(" SCORES FOR OBJECTS"), report.find(" SCORES FOR VARIABLES"));
  EXPECT_LT(o.out.find(" SCORES FOR OBJECTS"), o.out.find("HORIZONTAL AXIS IS DIMENSION"));
  EXPECT_LT(o.out.find("HORIZONTAL AXIS IS DIMENSION"), o.out.find(" SCORES FOR VARIABLES"));
  EXPECT_EQ(occurrences(o.out, "HORIZONTAL AXIS IS DIMENSION"), 2u);
}

// ------------------------------------------------------------ layouts

TEST(Coa, NineAxesTakeTwoRecordsAndTwoReportLinesPerPoint) {
  const Table t = counts(12, 10);
  Case c;
  std::string labels = "12\n";
  for (int i = 1; i <= 12; ++i) labels += "PLACE" + std::to_string(i) + "\n";
  c.write("obj.lab", labels);
  Options opt;
  opt.q = 9, opt.object_labels = 1;
  Outcome o = run_coa(c, t, opt);
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string report = c.read("ORTHAXIS.ST$");
  auto ev = eigenvalues(report);
  ASSERT_EQ(ev.size(), 10u);
  ASSERT_GT(ev[8], 1e-4);  // nine axes carry inertia
  EXPECT_NEAR(numbers_between(report, "SUM OF POSITIVE EIGENVALUES =", "EIGENVALUES")[0],
              total_inertia(t), 1e-5 * total_inertia(t));
  EXPECT_EQ(objects(c, 12, 9).size(), 12u);
  EXPECT_EQ(variables(c, 10, 9).size(), 10u);
  auto lines = Case::split(report);
  auto block = [&](const std::string& heading) {
    std::size_t at = 0;
    while (at < lines.size() && lines[at] != heading) ++at;
    return at + 2;  // the heading is followed by one empty record
  };
  // Labelled objects: "(I4,1X,A8,1X,5F12.3/(14X,5F12.3))".
  std::size_t at = block(" SCORES FOR OBJECTS");
  ASSERT_LE(at + 24, lines.size());
  EXPECT_EQ(lines[at].substr(0, 14), "   1 PLACE1   ");
  EXPECT_EQ(lines[at + 22].substr(0, 14), "  12 PLACE12  ");
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(lines[at + 2 * i].size(), 74u) << i;
    EXPECT_EQ(lines[at + 2 * i + 1].size(), 62u) << i;
    EXPECT_EQ(lines[at + 2 * i + 1].substr(0, 14), std::string(14, ' ')) << i;
  }
  // Unlabelled variables: "(I5,5F12.3/(5X,5F12.3))".
  at = block(" SCORES FOR VARIABLES");
  ASSERT_LE(at + 20, lines.size());
  for (std::size_t j = 0; j < 10; ++j) {
    EXPECT_EQ(std::strtol(lines[at + 2 * j].substr(0, 5).c_str(), nullptr, 10),
              static_cast<long>(j + 1));
    EXPECT_EQ(lines[at + 2 * j].size(), 65u) << j;
    EXPECT_EQ(lines[at + 2 * j + 1].size(), 53u) << j;
  }
}

TEST(Coa, OneAxisIsListedAndSavedButNotPlotted) {
  for (int q : {1, 2}) {
    Case c;
    Options opt;
    opt.q = q;
    Outcome o = run_coa(c, kCounts, opt);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(occurrences(o.out, "HORIZONTAL AXIS IS DIMENSION"), q == 1 ? 0u : 2u) << q;
    EXPECT_EQ(objects(c, 5, static_cast<std::size_t>(q)).size(), 5u);
    EXPECT_EQ(variables(c, 4, static_cast<std::size_t>(q)).size(), 4u);
    EXPECT_TRUE(ends_with(o.out, kNormalEnd));
  }
}

// ------------------------------------------------------------ stops

void expect_stop(const Table& t, const std::string& line) {
  Case c;
  Outcome o = run_coa(c, t, Options{});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(c.exists("T.TMP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("EIGENV.ST$"));
  EXPECT_EQ(o.out.find("JOB TERMINATED"), std::string::npos);
  EXPECT_TRUE(ends_with(o.out, "\n" + line + "\n\n\n STOP  \n")) << o.out;
  const auto report = c.lines("ORTHAXIS.ST$");
  ASSERT_GE(report.size(), 5u);
  const std::vector<std::string> last(report.end() - 5, report.end());
  EXPECT_EQ(last, (std::vector<std::string>{"", "", line, "", ""}));
}

TEST(Coa, NegativeValueStopsTheRunAtTheFirstInFileOrder) {
  // Object 2 variable 3 comes before object 3 variable 1; the negative value
  // is reported even though object 4 has a zero total.
  expect_stop({{1, 2, 3, 4}, {2, 2, -1, 2}, {-5, 1, 1, 1}, {0, 0, 0, 0}},
              "   ABNORMAL TERMINATION. NEGATIVE VALUE IN OBJECT     2, VARIABLE     3");
}

TEST(Coa, ZeroObjectTotalStopsTheRunBeforeAZeroVariableTotal) {
  expect_stop({{1, 0, 3, 4}, {2, 0, 1, 2}, {0, 0, 0, 0}, {3, 0, 1, 1}},
              "   ABNORMAL TERMINATION. ZERO TOTAL FOR OBJECT     3");
}

TEST(Coa, ZeroVariableTotalStopsTheRun) {
  expect_stop({{1, 0, 3, 4}, {2, 0, 1, 2}, {4, 0, 2, 1}},
              "   ABNORMAL TERMINATION. ZERO TOTAL FOR VARIABLE     2");
}

}  // namespace
}  // namespace orthaxis::e2e
