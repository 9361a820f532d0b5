// A person's runs and imports against faults from outside: a re-import that
// fails or is killed, two runs at once in one directory, tables of an
// earlier run, tables too large for the machine, and text from the data in
// messages, tables and pictures.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

namespace fs = std::filesystem;

// A table of `rows` objects named o1.. and `columns` variables named by
// `name(j)`, with values that vary.
std::string table(int rows, int columns, std::string (*name)(int) = nullptr) {
  std::string t = "";
  for (int j = 0; j < columns; ++j) t += "," + (name ? name(j) : "v" + std::to_string(j + 1));
  t += "\n";
  for (int i = 0; i < rows; ++i) {
    t += "o" + std::to_string(i + 1);
    for (int j = 0; j < columns; ++j) t += "," + std::to_string(1 + (i * 7 + j * 13 + i * j) % 17);
    t += "\n";
  }
  return t;
}

std::vector<std::string> leftovers(const Case& c) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(c.dir()))
    if (e.path().filename().string().rfind(".orthaxis-", 0) == 0)
      names.push_back(e.path().filename().string());
  return names;
}

// Where the marker stands, the report and the data file are of one run: the
// data file is whole (the earlier one or the new one) and the report names
// its title.
void expect_marker_only_beside_its_run(const Case& c, const std::vector<std::string>& whole_data) {
  if (!c.exists("SUCCES.ST$")) return;
  const std::string data = c.read("data.dat");
  EXPECT_NE(std::find(whole_data.begin(), whole_data.end(), data), whole_data.end())
      << "marker beside a data file of " << data.size() << " bytes";
  const std::string title = data.substr(0, data.find('\n'));
  EXPECT_NE(c.read("ORTHAXIS.ST$").find(title), std::string::npos) << title;
}

std::string long_name(int j) { return std::string(30000, static_cast<char>('a' + j)); }

TEST(PersonSafety, AFailedOrKilledReimportNeverLeavesTheMarkerBesideBrokenFiles) {
  const std::string small = table(4, 3), large = table(60000, 6), wide = table(3, 2, long_name);
  // What a clean import of each table writes as data.dat.
  auto data_of = [](const std::string& csv) {
    Case r;
    r.write("t.csv", csv);
    r.run("--import t.csv --quiet .");
    return r.read("data.dat");
  };
  const std::string small_data = data_of(small);
  const struct {
    const char* what;
    const std::string& csv;
    std::string prefix;
  } faults[] = {
      {"file-size limit on data.dat", large, "ulimit -f 64 &&"},
      {"file-size limit on the label file", wide, "ulimit -f 40 &&"},
      {"killed at 20 ms", large, "timeout -s KILL 0.02"},
      {"killed at 60 ms", large, "timeout -s KILL 0.06"},
      {"killed at 120 ms", large, "timeout -s KILL 0.12"},
      {"killed at 250 ms", large, "timeout -s KILL 0.25"},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.what);
    Case c;
    c.write("t.csv", small);
    ASSERT_EQ(c.run("--import t.csv --quiet .").status, 0);
    ASSERT_TRUE(c.exists("SUCCES.ST$"));
    c.write("t.csv", f.csv);
    const Outcome o = c.run_with(f.prefix, "--force --import t.csv --quiet .");
    if (o.status == 0) continue;  // the kill came after the normal end
    const std::string new_data = data_of(f.csv);
    expect_marker_only_beside_its_run(c, {small_data, new_data});
    if (f.prefix.rfind("ulimit", 0) == 0) {
      EXPECT_EQ(o.status, 2);
      EXPECT_EQ(Case::split(o.err).size(), 1u) << o.err;
      EXPECT_FALSE(c.exists("SUCCES.ST$"));
      EXPECT_TRUE(c.read("data.dat") == (f.csv == wide ? new_data : small_data));
      EXPECT_TRUE(leftovers(c).empty());
    }
  }
}

// Names, sizes and modification times of a directory's files.
std::vector<std::string> listing(const Case& c) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(c.dir())) {
    struct stat s;
    ::lstat(e.path().c_str(), &s);
    out.push_back(e.path().filename().string() + " " + std::to_string(s.st_size) + " " +
                  std::to_string(s.st_mtim.tv_sec) + "." + std::to_string(s.st_mtim.tv_nsec));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Whether another process holds the directory's lock.
bool locked_by_another(const Case& c) {
  const int fd = ::open(c.dir().c_str(), O_RDONLY | O_DIRECTORY);
  const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return busy;
}

bool eventually(const std::function<bool()>& what) {
  for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (what()) return true;
  return false;
}

// A run in the background whose data file is a pipe: it holds the
// directory until the test writes the data.
TEST(PersonSafety, ASecondRunInTheSameDirectoryRefusesAtOnceAndTouchesNothing) {
  const char* seconds[] = {"", "--csv", "--check", "--quiet", "--force --import t.csv ."};
  for (const char* second : seconds) {
    SCOPED_TRACE(second);
    Case c;
    c.setup("3 2 3 0 2 0 0 0 0 0 0 1", {"d.dat", "o.sco", "v.sco", "vl", "ol", "m"});
    c.write("t.csv", table(3, 2));
    ASSERT_EQ(::mkfifo((c.dir() / "d.dat").c_str(), 0600), 0);
    const std::string first = "cd '" + c.dir().string() + "' && (timeout 60 '" + ORTHAXIS_BINARY +
                              "' > first.out 2> first.err; echo $? > first.rc) &";
    ASSERT_EQ(std::system(first.c_str()), 0);
    ASSERT_TRUE(eventually([&] { return locked_by_another(c); })) << "the first run holds no lock";
    const std::vector<std::string> before = listing(c);
    const Outcome o = c.run_with("timeout 10", second);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    ASSERT_EQ(Case::split(o.err).size(), 1u) << o.err;
    EXPECT_NE(o.err.find("is in use by another run"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(fs::canonical(c.dir()).filename().string()), std::string::npos) << o.err;
    EXPECT_EQ(listing(c), before);
    // The first run reads its data file more than once: each open gets it whole.
    const std::string data = "T\n3 2\n1 2\n2 1\n3 5\n";
    ASSERT_TRUE(eventually([&] {
      const int pipe = ::open((c.dir() / "d.dat").c_str(), O_WRONLY | O_NONBLOCK);
      if (pipe >= 0) {
        EXPECT_EQ(::write(pipe, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        ::close(pipe);
      }
      return c.read("first.rc") == "0\n";
    })) << c.read("first.err");
    EXPECT_TRUE(c.exists("SUCCES.ST$"));
  }
}

// The five optional outputs, as a string of 'x' (present) and '.' (absent):
// eigenvalues.csv, objects.csv, variables.csv, biplot.svg, scree.svg.
std::string outputs(const Case& c) {
  std::string got;
  for (const char* name :
       {"eigenvalues.csv", "objects.csv", "variables.csv", "biplot.svg", "scree.svg"})
    got += c.exists(name) ? 'x' : '.';
  return got;
}

TEST(PersonSafety, TablesAndPicturesInADirectoryAreThoseOfTheLastRunThatWroteAny) {
  const char *two_axes = "4 3 3 0 2 0 0 0 0 0 0 1", *one_axis = "4 3 3 0 1 0 0 0 0 0 0 1";
  const struct {
    const char* what;
    bool earlier_run;         // a run with --csv --svg before
    const char* person_file;  // written by hand after it (or instead of it)
    const char* values;
    const char* args;
    const char* left;
  } cases[] = {
      {"the front end's run leaves them", true, "", two_axes, "", "xxxxx"},
      {"a run without --csv or --svg removes them", true, "", two_axes, "--quiet", "....."},
      {"--csv alone", true, "", two_axes, "--csv", "xxx.."},
      {"--svg with one axis", true, "", one_axis, "--svg", "....x"},
      {"a table changed since is the person's", true, "objects.csv", two_axes, "--quiet", ".x..."},
      {"a file of that name never written by a run", false, "biplot.svg", two_axes, "--quiet",
       "...x."},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Case c;
    c.write("d.dat", "T\n4\n1 2 4\n2 1 3\n3 5 1\n4 4 4\n");
    auto setup = [&](const char* values) {
      c.setup(values, {"d.dat", "o.sco", "v.sco", "vl", "ol", "m"});
    };
    if (k.earlier_run) {
      setup(two_axes);
      ASSERT_EQ(c.run("--csv --svg --quiet").status, 0);
      ASSERT_EQ(outputs(c), "xxxxx");
    }
    if (*k.person_file) c.write(k.person_file, "the person's own\n");
    setup(k.values);
    const Outcome o = c.run(k.args);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(outputs(c), k.left);
    if (*k.person_file) EXPECT_EQ(c.read(k.person_file), "the person's own\n");
    EXPECT_EQ(o.err.find("no biplot") != std::string::npos, k.values == one_axis) << o.err;
  }
}

// 2 x 100,000 needs 40 GB for the eigenvectors alone; 2 x 20,000 needs
// 1.6 GB, more than an address-space limit of 1 GB.
TEST(PersonSafety, ATableTooLargeForTheMachineIsRefusedAtOnceByTheRunAndTheCheck) {
  const struct {
    int columns;
    const char* prefix;
    const char* args;
    const char* available;
  } cases[] = {
      {100000, "", "", "memory and swap of this machine"},
      {100000, "", "--check", "memory and swap of this machine"},
      {20000, "ulimit -v 1000000 &&", "", "address-space limit of this process"},
      {20000, "ulimit -v 1000000 &&", "--check", "address-space limit of this process"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.prefix) + " " + k.args + " " + std::to_string(k.columns));
#if defined(__SANITIZE_ADDRESS__)
    if (*k.prefix) continue;  // address-space limits mean nothing under ASan
#endif
    Case c;
    std::string d = "T\n2\n";
    for (int i = 0; i < 2; ++i) {
      for (int j = 0; j < k.columns; ++j) d += j % 5 == 0 ? " 1" : " 2";
      d += "\n";
    }
    c.write("d.dat", d);
    c.setup("2 " + std::to_string(k.columns) + " 3 0 2 0 0 0 0 0 0 1",
            {"d.dat", "o.sco", "v.sco", "vl", "ol", "m"});
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = c.run_with(std::string(k.prefix) + " timeout 60", k.args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(o.status, 2);
    ASSERT_EQ(Case::split(o.err).size(), 1u) << o.err;
    EXPECT_NE(o.err.find("the run needs "), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(k.available), std::string::npos) << o.err;
    EXPECT_FALSE(c.exists("SUCCES.ST$"));
  }
}

// One line, and no control character but its end.
bool one_clean_line(const std::string& err) {
  if (err.empty() || err.back() != '\n') return false;
  for (std::size_t i = 0; i + 1 < err.size(); ++i)
    if (static_cast<unsigned char>(err[i]) < 0x20 || err[i] == 0x7f) return false;
  return true;
}

TEST(PersonSafety, RefusalsAreOneLineWithControlCharactersEscapedAndSayWhatToDo) {
  const struct {
    const char* what;
    const char* csv;  // written as t.csv
    std::string args;
    const char* says;
  } cases[] = {
      {"header name", ",\"a\nb\",c\no1,-1,2\no2,3,4\n",
       "--import t.csv --analysis correspondence out", "(\"a\\nb\")"},
      {"row name", ",a,b\no1,1,2\no2,3,4\n", "--import t.csv --sup-rows \"$(printf 'x\\033[31m')\" out",
       "\"x\\x1b[31m\""},
      {"directory name", "", "\"$(printf 'no\\nsuch')\"", "no\\nsuch"},
      {"option", "", "\"$(printf -- '--\\033[2J')\"", "\\x1b[2J"},
      {"a table given as the directory", "a,b\n1,2\n", "t.csv", "--import \"t.csv\" DIR"},
      {"a directory without a setup file", "", ".", "to run a table: orthaxis --import"},
      {"comma table read with --sep ';'", "a,b\no1,1,2\no2,2,1\n", "--sep ';' --import t.csv out",
       "use --sep ','"},
      {"--threads 1025", "", "--threads 1025", "--threads must be a whole number from 1 to 1024"},
      {"ORTHAXIS_THREADS=1025 with --check", "", "--check",
       "ORTHAXIS_THREADS must be a whole number from 1 to 1024"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Case c;
    if (*k.csv) c.write("t.csv", k.csv);
    if (k.args == "--check") c.setup("3 2 3 0 2 0 0 0 0 0 0 1", {"d", "o", "v", "vl", "ol", "m"});
    const Outcome o = c.run_with(k.args == "--check" ? "ORTHAXIS_THREADS=1025" : "", k.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(one_clean_line(o.err)) << o.err;
    EXPECT_NE(o.err.find(k.says), std::string::npos) << o.err;
  }
  // The front end's run keeps its line for a missing setup file.
  Case c;
  EXPECT_EQ(c.run().err, "ORTHAXIS: OPEN error on unit 9, file \"ORTHAXIS.ST$\": No such file or directory\n");
}

TEST(PersonSafety, AnImportShortOfMemoryEndsWithTheProgramsOwnLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit under ASan";
#endif
  Case c;
  c.write("t.csv", table(60000, 6));
  bool normal = false;
  int failures = 0;
  for (long kib = 2048; kib < 131072 && !normal; kib += 1024) {
    SCOPED_TRACE(kib);
    const Outcome o = c.run_with("ulimit -v " + std::to_string(kib) + " &&",
                                 "--force --quiet --import t.csv out");
    if (o.status != 2 && o.out.empty()) continue;  // the program could not even start
    normal = o.status != 2;  // the import went through (the run may stop on its data)
    if (!normal) {
      ++failures;
      EXPECT_TRUE(one_clean_line(o.err)) << o.err;
      EXPECT_EQ(o.err.find("std::"), std::string::npos) << o.err;
    }
  }
  EXPECT_TRUE(normal);
  EXPECT_GT(failures, 0);
}

// An object at the centroid has no quality of representation; labels hold
// code points that XML excludes and one is 100,000 bytes long; the table's
// lines end with CR alone.
TEST(PersonSafety, TextAndValuesFromTheDataKeepTablesAndPicturesWellFormed) {
  const std::string big(100000, 'w');
  Case c;
  c.write("t.csv", ",x,y,z\r\xEF\xBF\xBFone,1,2,9\rtwo\xEF\xBF\xBE,5,8,3\r" + big +
                       ",3,2,6\rcentroid,3,4,6\r");
  const Outcome o = c.run("--csv --svg --quiet --import t.csv .");
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string objects = c.read("objects.csv"), biplot = c.read("biplot.svg");
  EXPECT_EQ(Case::split(objects).size(), 5u);
  for (const char* bad : {"NaN", "nan", "inf", "Inf"})
    EXPECT_EQ(objects.find(bad), std::string::npos) << bad;
  EXPECT_NE(objects.find("\n4,centroid,"), std::string::npos);
  EXPECT_NE(objects.find(big), std::string::npos);  // the table keeps a label whole
  for (const char* bad : {"\xEF\xBF\xBF", "\xEF\xBF\xBE", "wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww"})
    EXPECT_EQ(biplot.find(bad), std::string::npos) << bad;
  EXPECT_NE(biplot.find(std::string(40, 'w') + "\xE2\x80\xA6"), std::string::npos);
}

}  // namespace
}  // namespace orthaxis::e2e
