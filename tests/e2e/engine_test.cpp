// --engine lapack against the Jacobi run on random tables of every analysis
// type, with and without missing values, with fewer and more objects than
// variables: the eigenvalues to 1e-5 of the largest, the scores of the
// tables (objects.csv, variables.csv) up to the sign of each axis where the
// eigenvalues stand apart (to the printed precision, widened by how far the
// single-precision matrix's rounding can move that axis); the same bytes for 1, 2 and 3 threads; and a run
// without --engine lapack never loads the library. Skipped where LAPACK
// cannot be loaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "analysis/lapack_engine.h"
#include "e2e/harness.h"
#include "export/csv_reader.h"

namespace orthaxis::e2e {
namespace {

using testing::csv_number;
using testing::parse_csv;

struct Table {
  const char* name;
  int n, p, type, missing_per_mille;
};

// Values from three hidden factors of falling weight, so that the leading
// eigenvalues stand apart; counts for correspondence analysis.
std::string table_text(const Table& t, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> d;
  std::uniform_int_distribution<int> mille(0, 999);
  std::vector<double> a(3 * t.n), b(3 * t.p);
  for (auto& v : a) v = d(gen);
  for (auto& v : b) v = d(gen);
  std::string s = "random table\n" + std::to_string(t.n) + " " + std::to_string(t.p) + "\n";
  for (int i = 0; i < t.n; ++i) {
    for (int j = 0; j < t.p; ++j) {
      double x = 0.3 * d(gen);
      for (int f = 0; f < 3; ++f) x += a[3 * i + f] * b[3 * j + f] * (3.0 - f);
      const double value = t.type == 4 ? std::max(0.0, std::round(4.0 + x)) + (i == j)
                                       : std::max(0.0, 10.0 + x);
      const bool missing = mille(gen) < t.missing_per_mille;
      s += missing ? " -1" : " " + std::to_string(value);
    }
    s += "\n";
  }
  return s;
}

std::map<std::string, std::string> run_case(const Table& t, const std::string& args) {
  Case c;
  c.write("data.dat", table_text(t, static_cast<unsigned>(t.n * 31 + t.p + t.type)));
  c.setup(std::to_string(t.n) + " " + std::to_string(t.p) + " " + std::to_string(t.type) +
              " 0 3 0 0 0 0 0 0 1",
          {"data.dat", "obj.sco", "var.sco", "var.lab", "obj.lab", "matrix.mat"});
  const Outcome o = c.run(args);
  std::map<std::string, std::string> files{{"status", std::to_string(o.status)},
                                           {"console", o.out}, {"err", o.err}};
  for (const auto& e : std::filesystem::directory_iterator(c.dir()))
    files[e.path().filename().string()] = c.read(e.path().filename().string());
  return files;
}

// Column `prefix` k (1-based) of a table of scores.
std::vector<double> column(const testing::CsvRows& rows, const std::string& name) {
  const auto at = std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin();
  std::vector<double> v;
  if (at == static_cast<long>(rows[0].size())) return ADD_FAILURE() << "no column " << name, v;
  for (std::size_t r = 1; r < rows.size(); ++r) v.push_back(csv_number(rows[r][at]));
  return v;
}

const Table kTables[] = {
    {"cross products, wide", 12, 30, 1, 0},   {"covariances, wide", 15, 40, 2, 0},
    {"correlations, wide", 20, 45, 3, 0},     {"correlations, long", 60, 25, 3, 0},
    {"covariances, long", 50, 10, 2, 0},      {"cross products, long", 40, 8, 1, 0},
    {"correlations, wide, missing", 25, 35, 3, 30},
    {"covariances, long, missing", 70, 12, 2, 50},
    {"correspondence, wide", 18, 50, 4, 0},   {"correspondence, long", 60, 15, 4, 0},
};

TEST(Engine, LapackAgreesWithJacobi) {
  if (!analysis::lapack_loadable()) GTEST_SKIP() << "LAPACK cannot be loaded";
  for (const Table& t : kTables) {
    SCOPED_TRACE(t.name);
    auto jacobi = run_case(t, "--csv");
    auto lapack = run_case(t, "--csv --engine lapack");
    ASSERT_EQ(jacobi["status"], "0") << jacobi["err"];
    ASSERT_EQ(lapack["status"], "0") << lapack["err"];
    const auto ej = column(parse_csv(jacobi["eigenvalues.csv"]), "eigenvalue");
    const auto el = column(parse_csv(lapack["eigenvalues.csv"]), "eigenvalue");
    const std::size_t count = std::min(ej.size(), el.size());
    ASSERT_GE(count, 3u);
    for (std::size_t k = 0; k < count; ++k) EXPECT_NEAR(el[k], ej[k], 1e-5 * ej[0]) << k;
    for (const char* table : {"objects.csv", "variables.csv"}) {
      // Cross products: the variables' scores are their correlations with
      // the objects' scores, whose spread on the uncentred first axis is a
      // small remainder that magnifies any rounding.
      if (t.type == 1 && table[0] == 'v') continue;
      const auto sj = parse_csv(jacobi[table]), sl = parse_csv(lapack[table]);
      for (std::size_t k = 0; k < 3; ++k) {
        // A vector moves by about the matrix's rounding (1e-6 of the
        // largest eigenvalue) over the gap to its neighbours.
        double gap = ej[0];
        if (k > 0) gap = std::min(gap, ej[k - 1] - ej[k]);
        if (k + 1 < ej.size()) gap = std::min(gap, ej[k] - ej[k + 1]);
        if (gap < 1e-3 * ej[0]) continue;
        const double moved = 1e-4 + 1e-6 * ej[0] / gap;
        const std::string name = std::string(table[0] == 'o' ? "F" : "G") + std::to_string(k + 1);
        const auto a = column(sj, name), b = column(sl, name);
        ASSERT_EQ(a.size(), b.size());
        double scale = 1.0, dot = 0.0;
        for (std::size_t i = 0; i < a.size(); ++i) {
          scale = std::max(scale, std::fabs(a[i]));
          dot += a[i] * b[i];
        }
        const double sign = dot < 0 ? -1.0 : 1.0;
        for (std::size_t i = 0; i < a.size(); ++i)
          EXPECT_NEAR(sign * b[i], a[i], moved * scale) << table << " " << name << " point " << i;
      }
    }
  }
}

TEST(Engine, LapackGivesTheSameBytesForEveryThreadCount) {
  if (!analysis::lapack_loadable()) GTEST_SKIP() << "LAPACK cannot be loaded";
  for (const Table& t : {Table{"wide", 300, 700, 3, 0}, Table{"wide table", 280, 600, 4, 0},
                         Table{"long, missing", 200, 40, 2, 20}}) {
    const auto one = run_case(t, "--csv --svg --engine lapack --threads 1");
    EXPECT_EQ(one.at("status"), "0") << t.name;
    for (const char* threads : {"2", "3"})
      EXPECT_EQ(run_case(t, std::string("--csv --svg --engine lapack --threads ") + threads), one)
          << t.name << ", " << threads << " threads";
  }
}

TEST(Engine, OnlyTheLapackEngineLoadsTheLibrary) {
  Case c;
  c.copy_example("dune");
  EXPECT_EQ(c.run_with("LD_DEBUG=libs").err.find("liblapack"), std::string::npos);
  if (!analysis::lapack_loadable()) GTEST_SKIP() << "LAPACK cannot be loaded";
  c.copy_example("dune");
  const Outcome o = c.run_with("LD_DEBUG=libs", "--engine lapack");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.err.find("liblapack"), std::string::npos);
}

TEST(Engine, LapackThatCannotBeLoadedEndsTheRunWithOneLine) {
  Case c;
  c.copy_example("dune");
  c.write("SUCCES.ST$", "");
  std::filesystem::create_directory(c.dir() / "lib");
  c.write("lib/liblapack.so.3", "not a library\n");  // found first, and refused
  const Outcome o = c.run_with("LD_LIBRARY_PATH=lib", "--engine lapack");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "ORTHAXIS: --engine lapack needs liblapack.so.3, which cannot be loaded "
                   "(install liblapack3)\n");
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
}

}  // namespace
}  // namespace orthaxis::e2e
