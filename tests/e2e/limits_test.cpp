// Runs at the edges of single precision and of memory: values whose squares
// overflow single precision, an eigenanalysis that cannot settle, a matrix
// that is not finite, and arrays sized from what the run needs.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

using Rows = std::vector<std::vector<double>>;

// Writes the setup and a data file of rows, and runs; a hang shows as exit
// status 124 instead of blocking the suite.
Outcome run_table(Case& c, const std::string& values, const Rows& rows,
                  const std::string& prefix = "timeout 120") {
  std::ostringstream d;
  d << "T\n" << rows.size() << "\n";
  for (const auto& r : rows) {
    for (double v : r) d << ' ' << v;
    d << "\n";
  }
  c.write("d.dat", d.str());
  c.setup(values, {"d.dat", "o.sco", "v.sco", "vl.txt", "ol.txt", "m.mat"});
  return c.run_with(prefix);
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void expect_normal_end(const Case& c, const Outcome& o) {
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_FALSE(c.exists("T.TMP"));
}

// An analysis stop whose last report line (and console line before the stop) is `line`.
void expect_stop(const Case& c, const Outcome& o, const std::string& line) {
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(c.exists("T.TMP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
  EXPECT_TRUE(ends_with(o.out, "\n\n\n" + line + "\n\n\n STOP  \n")) << o.out;
  EXPECT_TRUE(ends_with(c.read("ORTHAXIS.ST$"), "\n\n" + line + "\n\n\n"));
}

// Eigenvalues, larger first, of the cross products (type 1) or covariances
// (type 2) of a two-column table, in double; the smaller one as determinant
// over the larger, which does not cancel.
std::vector<double> eigenvalues_2x2(int type, const Rows& rows) {
  const double n = static_cast<double>(rows.size());
  double m0 = 0, m1 = 0, a = 0, b = 0, d = 0;
  if (type == 2)
    for (const auto& r : rows) m0 += r[0] / n, m1 += r[1] / n;
  for (const auto& r : rows) {
    a += (r[0] - m0) * (r[0] - m0) / (type == 2 ? n - 1 : 1);
    b += (r[0] - m0) * (r[1] - m1) / (type == 2 ? n - 1 : 1);
    d += (r[1] - m1) * (r[1] - m1) / (type == 2 ? n - 1 : 1);
  }
  const double big = (a + d) / 2 + std::sqrt((a - d) * (a - d) / 4 + b * b);
  return {big, (a * d - b * b) / big};
}

TEST(Limits, SquaresBeyondSinglePrecisionNoLongerHangTheEigenanalysis) {
  const Rows one_value_1e12 = {{1, 2}, {2, 1}, {1e12, 5}};
  const Rows columns_1e10_1e6 = {{1e10, 1e6}, {2e10, 3e6}, {3e10, 2e6}, {4e10, 6e6}};
  const struct {
    const char* values;
    int type;
    const Rows& rows;
  } runs[] = {{"3 2 2 0 1 0 0 0 0 0 0 1", 2, one_value_1e12},
              {"4 2 1 0 2 0 0 0 0 0 0 1", 1, columns_1e10_1e6},
              {"4 2 2 0 2 0 0 0 0 0 0 1", 2, columns_1e10_1e6}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.values);
    Case c;
    expect_normal_end(c, run_table(c, r.values, r.rows));
    const std::vector<double> got = eigenvalues(c.read("ORTHAXIS.ST$"));
    const std::vector<double> want = eigenvalues_2x2(r.type, r.rows);
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
  EXPECT_FALSE(c.exists("EIGENV.ST$"));
}

TEST(Limits, ACorrespondenceMatrixThatIsNotFiniteStopsTheRun) {
  // The grand total T is 3e38: the expected proportion of object 1 in
  // variable 2, (8/T)(3/T), rounds to zero in single precision, so that
  // residual divides by zero; element (1, 1) stays finite, (2, 1) does not.
  Case c;
  const Outcome o = run_table(c, "3 2 4 0 2 0 0 0 0 0 0 1", {{1, 2}, {2, 1}, {3e38, 5}});
  expect_stop(c, o, "   ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES    1 AND    2 IS UNDEFINED");
}

// Address-space limits (ulimit -v, KiB) mean nothing under AddressSanitizer,
// which reserves far more.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_ADDRESS_SANITIZER() GTEST_SKIP() << "address-space limit under ASan"
#else
#define SKIP_UNDER_ADDRESS_SANITIZER() (void)0
#endif
std::string address_space_kib(long kib) { return "ulimit -v " + std::to_string(kib) + " &&"; }

TEST(Limits, ArraysAreSizedFromWhatTheRunNeeds) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  Case q;  // q far above p: the scores never use more than p axes
  expect_normal_end(q, run_table(q, "4 2 3 0 2147483647 0 0 0 0 0 0 1",
                                 {{1, 2}, {2, 1}, {3, 5}, {4, 4}}));
  EXPECT_NE(q.read("ORTHAXIS.ST$").find(" NO. OF COMPONENTS RETAINED =    *****\n"),
            std::string::npos);
  EXPECT_EQ(q.lines("o.sco").at(1), " 4 2");
  // The setup allows 20000 x 20000 values (1.6 GB as floats); the stored
  // table is 3 x 2, and its transposition fits well inside 1 GB.
  Case t;
  t.write("d.dat", "T\n3 2\n1 2\n2 1\n3 5\n");
  t.setup("20000 20000 3 0 2 0 0 0 0 0 0 0", {"d.dat", "o.sco", "v.sco", "vl", "ol", "m"});
  expect_normal_end(t, t.run_with(address_space_kib(1000000)));
}

// Threads take little address space (a small stack each, one heap for
// all): 64 threads run in every limit from 150 to 300 MB. With the C
// library's defaults (8 MB of stack and a heap of 64 MB per thread) the
// threads took the room the arrays needed, in about one limit in three.
TEST(Limits, ManyThreadsLeaveTheRunItsAddressSpace) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  for (long kib = 150000; kib <= 300000; kib += 10000) {
    Case c;
    SCOPED_TRACE(kib);
    expect_normal_end(c, run_table(c, "3 2 4 0 2 0 0 0 0 0 0 1", {{1, 2}, {2, 1}, {3, 5}},
                                   "export ORTHAXIS_THREADS=64 && " + address_space_kib(kib)));
  }
}

// From the least address space in which the program starts (a run without a
// setup file fails cleanly) up to enough for a normal end: every run ends
// normally or with exit status 2, one line on standard error and no marker,
// and a failure after the data pass does not blame the work arrays.
TEST(Limits, RunningOutOfMemoryAnywhereEndsWithOneLineAndNoMarker) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  Rows rows(3, std::vector<double>(400));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) rows[i][j] = 1.0 + (i * 7 + j * 13) % 17;
  const std::string values = "3 400 1 0 2 0 0 0 0 0 0 1";
  Case c;
  auto clean_failure = [](const Outcome& o) {
    return o.status == 2 && Case::split(o.err).size() == 1 && o.err.rfind("ORTHAXIS: ", 0) == 0;
  };
  long kib = 2048;
  while (kib < 65536 && !clean_failure(c.run_with(address_space_kib(kib)))) kib += 256;
  int early = 0, late = 0;
  for (bool normal = false; !normal && kib < 65536; kib += 256) {
    std::filesystem::remove(c.dir() / "SUCCES.ST$");
    const Outcome o = run_table(c, values, rows, address_space_kib(kib));
    SCOPED_TRACE(kib);
    normal = o.status == 0 && c.exists("SUCCES.ST$");
    if (normal) continue;
    ASSERT_TRUE(clean_failure(o)) << o.status << " " << o.err;
    EXPECT_FALSE(c.exists("SUCCES.ST$"));
    const bool after_data_pass = o.out.find("VARIABLES STATISTICS") != std::string::npos;
    (after_data_pass ? late : early) += 1;
    if (after_data_pass) {
      EXPECT_EQ(o.err.find("work arrays"), std::string::npos) << o.err;
    }
  }
  EXPECT_LT(kib, 65536) << "no normal end";
  EXPECT_GT(early, 0);
  EXPECT_GT(late, 0);
}

}  // namespace
}  // namespace orthaxis::e2e
