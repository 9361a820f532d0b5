// Runs at the edges of single precision and of memory: values whose squares
// overflow single precision, an eigenanalysis that cannot settle, matrices
// that are not finite, and sizes taken from what the run needs.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

using Rows = std::vector<std::vector<double>>;

// A hang shows as exit status 124 instead of blocking the suite.
const std::string kTimeLimit = "timeout 120";

// Setup values and a data file of rows (free format, as written by <<).
Outcome run_table(Case& c, const std::string& values, const Rows& rows) {
  std::ostringstream d;
  d << "T\n" << rows.size() << "\n";
  for (const auto& r : rows) {
    for (double v : r) d << ' ' << v;
    d << "\n";
  }
  c.write("d.dat", d.str());
  c.setup(values, {"d.dat", "o.sco", "v.sco", "vl.txt", "ol.txt", "m.mat"});
  return c.run_with(kTimeLimit);
}

void expect_normal_end(const Case& c, const Outcome& o) {
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("T.TMP"));
}

// An analysis stop: `line` ends the report and, before the stop line, the console.
void expect_stop(const Case& c, const Outcome& o, const std::string& line) {
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

// Eigenvalues of the symmetric 2 x 2 matrix [[a, b], [b, d]], larger first;
// the smaller one as determinant / larger, which does not cancel.
std::array<double, 2> eigenvalues_2x2(double a, double b, double d) {
  const double big = (a + d) / 2 + std::sqrt((a - d) * (a - d) / 4 + b * b);
  return {big, (a * d - b * b) / big};
}

// Cross products (type 1) or covariances (type 2) of a two-column table, in double.
std::array<double, 2> expected_eigenvalues(int type, const Rows& rows) {
  const double n = static_cast<double>(rows.size());
  double m0 = 0, m1 = 0;
  if (type == 2)
    for (const auto& r : rows) m0 += r[0] / n, m1 += r[1] / n;
  double a = 0, b = 0, d = 0;
  for (const auto& r : rows) {
    a += (r[0] - m0) * (r[0] - m0);
    b += (r[0] - m0) * (r[1] - m1);
    d += (r[1] - m1) * (r[1] - m1);
  }
  const double div = type == 2 ? n - 1 : 1;
  return eigenvalues_2x2(a / div, b / div, d / div);
}

// ------------------------------------------------------------ eigenanalysis

TEST(Limits, SquaresBeyondSinglePrecisionNoLongerHangTheEigenanalysis) {
  const Rows one_value_1e12 = {{1, 2}, {2, 1}, {1e12, 5}};
  const Rows columns_1e10_1e6 = {{1e10, 1e6}, {2e10, 3e6}, {3e10, 2e6}, {4e10, 6e6}};
  struct Run {
    std::string values;
    int type;
    Rows rows;
  };
  const Run runs[] = {
      {"3 2 2 0 1 0 0 0 0 0 0 1", 2, one_value_1e12},
      {"4 2 1 0 2 0 0 0 0 0 0 1", 1, columns_1e10_1e6},
      {"4 2 2 0 2 0 0 0 0 0 0 1", 2, columns_1e10_1e6},
  };
  for (const Run& r : runs) {
    SCOPED_TRACE(r.values);
    Case c;
    const Outcome o = run_table(c, r.values, r.rows);
    expect_normal_end(c, o);
    const std::vector<double> got = eigenvalues(c.read("ORTHAXIS.ST$"));
    const std::array<double, 2> want = expected_eigenvalues(r.type, r.rows);
    ASSERT_EQ(got.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) EXPECT_NEAR(got[k], want[k], 1e-3 * want[k]) << k;
  }
}

TEST(Limits, AnEigenanalysisThatDoesNotSettleStopsTheRun) {
  // Cross products [[1e30, 1e-20], [1e-20, 5]]: a rotation's sine rounds to
  // zero, so rotating the pair changes nothing.
  Case c;
  const Outcome o = run_table(c, "3 2 1 0 2 0 0 0 0 0 0 1", {{1e15, 1e-35}, {0, 1}, {0, 2}});
  expect_stop(c, o, "   ABNORMAL TERMINATION. EIGENANALYSIS DOES NOT CONVERGE");
  EXPECT_NE(o.out.find("CURRENT V."), std::string::npos);
}

// ------------------------------------------------------------ undefined matrix

TEST(Limits, ACorrespondenceMatrixThatIsNotFiniteStopsTheRun) {
  // The grand total T is 3e38: the expected proportion of object 1 in
  // variable 2, (8/T)(3/T), rounds to zero in single precision, so that
  // residual divides by zero; element (1, 1) stays finite, (2, 1) does not.
  Case c;
  const Outcome o = run_table(c, "3 2 4 0 2 0 0 0 0 0 0 1", {{1, 2}, {2, 1}, {3e38, 5}});
  expect_stop(c, o, "   ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES    1 AND    2 IS UNDEFINED");
}

// ------------------------------------------------------------ memory

// An address-space limit for the program (ulimit -v, in KiB). AddressSanitizer
// reserves far more address space than any such limit allows.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_ADDRESS_SANITIZER() GTEST_SKIP() << "address-space limits under ASan"
#else
#define SKIP_UNDER_ADDRESS_SANITIZER() (void)0
#endif
std::string address_space_kib(long kib) { return "ulimit -v " + std::to_string(kib) + " &&"; }

TEST(Limits, ArraysAreSizedFromWhatTheRunNeeds) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  {
    // q far above p: the scores never use more than p axes.
    Case c;
    expect_normal_end(c, run_table(c, "4 2 3 0 2147483647 0 0 0 0 0 0 1",
                                   {{1, 2}, {2, 1}, {3, 5}, {4, 4}}));
    EXPECT_NE(c.read("ORTHAXIS.ST$").find(" NO. OF COMPONENTS RETAINED =    *****\n"),
              std::string::npos);
    EXPECT_EQ(c.lines("o.sco").at(1), " 4 2");
  }
  {
    // The setup allows 20000 x 20000 values (1.6 GB as floats); the data file
    // holds 3 x 2, and the transposition needs only those, well inside 1 GB.
    Case c;
    c.write("d.dat", "T\n3 2\n1 2\n2 1\n3 5\n");
    c.setup("20000 20000 3 0 2 0 0 0 0 0 0 0",
            {"d.dat", "o.sco", "v.sco", "vl.txt", "ol.txt", "m.mat"});
    expect_normal_end(c, c.run_with(address_space_kib(1000000)));
  }
}

// Under every address-space limit from the least that lets the program start
// (a run without a setup file fails cleanly) up to enough, the run ends
// normally or with exit status 2, one line on standard error and no marker;
// a failure after the data pass does not blame the work arrays.
TEST(Limits, RunningOutOfMemoryAnywhereEndsWithOneLineAndNoMarker) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  Rows rows(3, std::vector<double>(400));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) rows[i][j] = 1.0 + (i * 7 + j * 13) % 17;
  Case c;
  run_table(c, "3 400 1 0 2 0 0 0 0 0 0 1", rows);  // writes the data file
  const std::string setup = "3 400 1 0 2 0 0 0 0 0 0 1\nd.dat\no.sco\nv.sco\nvl\nol\nm\n";
  auto clean_failure = [](const Outcome& o) {
    return o.status == 2 && Case::split(o.err).size() == 1 && o.err.rfind("ORTHAXIS: ", 0) == 0;
  };
  constexpr long kStep = 256;
  long kib = 2048;
  std::filesystem::remove(c.dir() / "ORTHAXIS.ST$");
  while (kib < 65536 && !clean_failure(c.run_with(address_space_kib(kib)))) kib += kStep;
  int early = 0, late = 0;
  bool normal = false;
  for (; kib < 65536 && !normal; kib += kStep) {
    c.write("ORTHAXIS.ST$", setup);
    std::filesystem::remove(c.dir() / "SUCCES.ST$");
    const Outcome o = c.run_with(address_space_kib(kib));
    SCOPED_TRACE(kib);
    normal = o.status == 0;
    if (normal) {
      EXPECT_TRUE(c.exists("SUCCES.ST$"));
      continue;
    }
    ASSERT_TRUE(clean_failure(o)) << o.status << " " << o.err;
    EXPECT_FALSE(c.exists("SUCCES.ST$"));
    if (o.out.find("VARIABLES STATISTICS") == std::string::npos) {
      ++early;
    } else {
      ++late;
      EXPECT_EQ(o.err.find("work arrays"), std::string::npos) << o.err;
    }
  }
  EXPECT_TRUE(normal);
  EXPECT_GT(early, 0);
  EXPECT_GT(late, 0);
}

}  // namespace
}  // namespace orthaxis::e2e
