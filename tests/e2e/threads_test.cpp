// The thread count changes the speed of a run, never its bytes: whole runs
// with 1, 2 and 3 threads leave the same console, the same exit status and
// the same files, byte for byte, on PCA of each type with and without missing
// values (several blocks of rows in the data pass and of objects in the
// scores), on correspondence analysis, and on a data file that fails halfway through the
// data pass (the scratch file then holds the rows read before the failure).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

// Everything a run leaves behind: status, console, error stream, and every
// file of the directory with its bytes.
struct Trace {
  int status = -1;
  std::string out, err;
  std::map<std::string, std::string> files;
};

Trace run_with_threads(const std::string& threads, const std::string& data,
                       const std::string& values) {
  Case c;
  c.write("data.dat", data);
  // Labels for every object and variable a test may have.
  std::string labels = "5000\n";
  for (int i = 1; i <= 5000; ++i) labels += "Label" + std::to_string(i) + "\n";
  c.write("obj.lab", labels);
  c.write("var.lab", labels);
  c.setup(values, {"data.dat", "obj.sco", "var.sco", "var.lab", "obj.lab", "matrix.mat"});
  const std::string cmd = "cd '" + c.dir().string() + "' && ORTHAXIS_THREADS=" + threads + " '" +
                          ORTHAXIS_BINARY + "' > ../" + c.dir().filename().string() +
                          ".out 2> ../" + c.dir().filename().string() + ".err";
  const int rc = std::system(cmd.c_str());
  Trace t;
  t.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  for (const char* ext : {".out", ".err"}) {
    const auto path = c.dir().parent_path() / (c.dir().filename().string() + ext);
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    (ext[1] == 'o' ? t.out : t.err) = s.str();
    std::filesystem::remove(path);
  }
  for (const auto& e : std::filesystem::directory_iterator(c.dir()))
    t.files[e.path().filename().string()] = c.read(e.path().filename().string());
  return t;
}

// n objects by p variables; `missing` of every thousand values written as -1;
// `bad_row` > 0 puts a value that is not a number into that row.
std::string table(int n, int p, int missing, unsigned seed, int bad_row = 0, bool counts = false) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::ostringstream d;
  d << "Threads test table\n" << n << ' ' << p << "\n";
  for (int i = 1; i <= n; ++i) {
    const double f = unit(rng) * 5.0;
    for (int j = 1; j <= p; ++j) {
      if (i == bad_row && j == p / 2) {
        d << " x1.5";
      } else if (counts) {
        d << ' ' << static_cast<int>(unit(rng) * 9.0 + f * (j % 3));
      } else if (static_cast<int>(rng() % 1000) < missing) {
        d << " -1";
      } else {
        d << ' ' << static_cast<int>((f * (j % 7) + unit(rng) * 10.0) * 1000.0) / 1000.0;
      }
    }
    d << "\n";
  }
  return d.str();
}

void expect_same_for_every_thread_count(const std::string& data, const std::string& values,
                                        int expected_status) {
  const Trace one = run_with_threads("1", data, values);
  EXPECT_EQ(one.status, expected_status) << one.err;
  for (const char* threads : {"2", "3"}) {
    SCOPED_TRACE(std::string(threads) + " threads");
    const Trace t = run_with_threads(threads, data, values);
    EXPECT_EQ(t.status, one.status);
    EXPECT_TRUE(t.out == one.out) << "console differs";
    EXPECT_EQ(t.err, one.err);
    ASSERT_EQ(t.files.size(), one.files.size());
    for (const auto& [name, bytes] : one.files) {
      ASSERT_TRUE(t.files.count(name)) << name;
      EXPECT_TRUE(t.files.at(name) == bytes) << name << " differs";
    }
  }
}

TEST(Threads, PcaWithoutMissingValuesIsTheSameForEveryThreadCount) {
  expect_same_for_every_thread_count(table(2500, 45, 0, 1), "2500 45 3 2 4 0 0 0 1 0 0 1", 0);
}

TEST(Threads, PcaWithMissingValuesIsTheSameForEveryThreadCount) {
  expect_same_for_every_thread_count(table(2500, 45, 8, 2), "2500 45 2 2 4 0 0 0 0 1 1 1", 0);
}

TEST(Threads, PcaFromCrossProductsIsTheSameForEveryThreadCount) {
  expect_same_for_every_thread_count(table(3100, 30, 3, 6), "3100 30 1 0 3 0 0 0 1 0 0 1", 0);
}

TEST(Threads, LabelledPcaIsTheSameForEveryThreadCount) {
  expect_same_for_every_thread_count(table(2100, 12, 0, 7), "2100 12 3 0 7 0 1 1 1 0 0 1", 0);
}

TEST(Threads, CorrespondenceAnalysisIsTheSameForEveryThreadCount) {
  expect_same_for_every_thread_count(table(900, 12, 0, 3, 0, true), "900 12 4 0 3 1 0 0 1 0 0 1",
                                     0);
}

TEST(Threads, AnInputErrorInTheDataPassIsTheSameForEveryThreadCount) {
  // Row 1700 fails after three blocks of rows have been handed on.
  expect_same_for_every_thread_count(table(2500, 45, 5, 4, 1700), "2500 45 3 0 4 0 0 0 0 0 0 1",
                                     2);
}

// Rows that only a whole read statement reads (a row over two records, null
// values that keep the row before's items, a row ended by "/"), in the middle
// of a chunk of rows read ahead, at the start of one and in the last, and
// values after the last row.
TEST(Threads, RowsThatNeedTheWholeStatementAreTheSameForEveryThreadCount) {
  std::istringstream in(table(2500, 45, 0, 8));
  std::string line, data;
  for (int record = 0; std::getline(in, line); ++record) {
    const int row = record - 2;  // the title and the counts come first
    std::string_view head = line, tail;
    if (row == 700) {  // the row over two records
      const std::size_t cut = line.find(' ', 40);
      head = std::string_view(line).substr(0, cut);
      tail = std::string_view(line).substr(cut + 1);
    }
    if (row == 1024) data.append(",,3.5"), head.remove_prefix(line.find(' ', 20));
    if (row == 2400) head = head.substr(0, 60), tail = " /";
    data.append(head);
    if (row == 700) data.push_back('\n');
    data.append(tail).push_back('\n');
  }
  data += " 1 2 3\n";
  expect_same_for_every_thread_count(data, "2500 45 3 0 4 0 0 0 0 0 0 1", 0);
}

TEST(Threads, AnInvalidThreadCountInTheEnvironmentIsASetupError) {
  for (const char* bad : {"0", "-2", "two", "2x", "''", "100000"}) {
    const Trace t = run_with_threads(bad, table(20, 3, 0, 5), "20 3 3 0 2 0 0 0 0 0 0 1");
    EXPECT_EQ(t.status, 2) << bad;
    EXPECT_NE(t.err.find("ORTHAXIS_THREADS"), std::string::npos) << bad;
    EXPECT_EQ(std::count(t.err.begin(), t.err.end(), '\n'), 1) << bad;
    EXPECT_FALSE(t.files.count("SUCCES.ST$")) << bad;
  }
}

}  // namespace
}  // namespace orthaxis::e2e
