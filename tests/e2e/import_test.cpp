// --import: a CSV table run in one command gives the results of the same data
// written by hand into the program's files; what cannot be imported is
// refused with one line, exit status 2 and nothing written.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

namespace fs = std::filesystem;

// The rows of values of a data file (after its title and count lines).
std::vector<std::vector<std::string>> rows_of(const std::vector<std::string>& lines) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    rows.emplace_back();
    for (std::string v; in >> v;) rows.back().push_back(v);
  }
  return rows;
}

// Everything below a directory: relative path -> content.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(e.path(), dir).string();
    if (e.is_directory()) {
      files[name + "/"] = "";
    } else {
      std::ifstream f(e.path(), std::ios::binary);
      std::ostringstream s;
      s << f.rdbuf();
      files[name] = s.str();
    }
  }
  return files;
}

std::vector<std::string> without_first(std::vector<std::string> lines) {
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

// The iris table as write.csv writes it (quoted header with an empty first
// cell, quoted row names), here with a byte-order mark, CRLF line ends, row
// names holding commas and quotes, and three missing values: NA, an empty
// cell and NA again. The hand-written counterpart is the shipped example with
// -1 in the same three places.
TEST(Import, IrisCsvGivesTheResultsOfTheHandWrittenFiles) {
  Case by_hand;
  by_hand.copy_example("iris");
  auto rows = rows_of(by_hand.lines("iris.dat"));
  ASSERT_EQ(rows.size(), 150u);
  const std::map<std::pair<std::size_t, std::size_t>, std::string> missing = {
      {{0, 1}, "NA"}, {{57, 3}, ""}, {{149, 0}, "NA"}};
  std::string csv = "\xEF\xBB\xBF\"\",\"Sepal.Length\",\"Sepal.Width\",\"Petal.Length\",\"Petal.Width\"\r\n";
  std::string dat = "title\n150 4\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    csv += "\"flower " + std::to_string(i + 1) + (i % 7 == 0 ? ", \"\"odd\"\"" : "") + "\"";
    for (std::size_t j = 0; j < 4; ++j) {
      auto m = missing.find({i, j});
      csv += ',';
      csv += m == missing.end() ? rows[i][j] : m->second;
      if (j > 0) dat += ' ';
      dat += m == missing.end() ? rows[i][j] : std::string("-1");
    }
    csv += "\r\n";
    dat += '\n';
  }
  by_hand.write("iris.dat", dat);
  ASSERT_EQ(by_hand.run().status, 0);

  Case c;
  c.write("iris.csv", csv);
  Outcome o = c.run("--import iris.csv work");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("150 objects, 4 variables, 3 missing"), std::string::npos) << o.out;
  EXPECT_EQ(c.read("work/EIGENV.ST$"), by_hand.read("EIGENV.ST$"));
  EXPECT_EQ(c.read("work/EIGENV.txt"), by_hand.read("EIGENV.txt"));
  EXPECT_EQ(eigenvalues(c.read("work/ORTHAXIS.ST$")), eigenvalues(by_hand.read("ORTHAXIS.ST$")));
  EXPECT_TRUE(c.exists("work/SUCCES.ST$"));
  // Full names on their lines; the report shows them cut to 8 characters.
  auto objects = c.lines("work/objects.lab");
  ASSERT_EQ(objects.size(), 151u);
  EXPECT_EQ(objects[0], "150");
  EXPECT_EQ(objects[1], "flower 1, \"odd\"");
  EXPECT_EQ(c.lines("work/variables.lab"),
            (std::vector<std::string>{"4", "Sepal.Length", "Sepal.Width", "Petal.Length",
                                      "Petal.Width"}));
  EXPECT_NE(c.read("work/ORTHAXIS.ST$").find("Sepal.Le"), std::string::npos);
}

// The dune table with semicolons and decimal commas, run as the shipped
// example's correspondence analysis with four axes.
TEST(Import, DuneCsvWithSemicolonsAndDecimalCommasGivesTheExamplesResults) {
  Case example;
  example.copy_example("dune");
  auto rows = rows_of(example.lines("dune.dat"));
  auto plants = example.lines("plants.lab");  // a count line, then the names
  auto sites = example.lines("sites.lab");
  ASSERT_EQ(rows.size(), 20u);
  ASSERT_EQ(plants.size(), 31u);
  std::string csv = "site";
  for (std::size_t j = 1; j < plants.size(); ++j) csv += ";\"" + plants[j] + "\"";
  csv += "\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    csv += "\"" + sites[i + 1] + "\"";
    for (const auto& v : rows[i]) {
      csv += ';';
      csv += v;
      if (v != "0") csv += ",0";
    }
    csv += "\n";
  }

  ASSERT_EQ(example.run().status, 0);

  Case c;
  c.write("dune.csv", csv);
  Outcome o =
      c.run("--import dune.csv --sep ';' --dec , --analysis correspondence --axes 4 work");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(c.read("work/EIGENV.ST$"), example.read("EIGENV.ST$"));
  EXPECT_EQ(c.read("work/EIGENV.txt"), example.read("EIGENV.txt"));
  // The score files differ only in the data file named in their title.
  EXPECT_EQ(without_first(c.lines("work/objects.sco")), without_first(example.lines("dune.obj")));
  EXPECT_EQ(without_first(c.lines("work/variables.sco")),
            without_first(example.lines("dune.var")));
  EXPECT_NE(o.out.find("JOB TERMINATED"), std::string::npos);
}

// Each refusal: exit status 2, one line on standard error naming the place,
// and the directory exactly as it was.
TEST(Import, RefusalsWriteNothing) {
  struct Refusal {
    const char* what;
    std::string csv;  // written as `file`
    std::string args;  // the command line
    const char* message;
    bool setup_present = false;  // work/ holds a setup file beforehand
    std::string file = "t.csv";
  };
  const Refusal cases[] = {
      {"negative value, PCA", ",a,b\nr1,1,2\nr2,-2,3\n", "--import t.csv work",
       "t.csv, line 3, column 2 (\"a\"): -2 is negative"},
      {"field count", "a,b\n1,2\n3,4,5\n", "--import t.csv work",
       "t.csv, line 3: 3 fields where the header row has 2"},
      {"missing file", "", "--import nosuch.csv work", "cannot read \"nosuch.csv\""},
      {"setup file present", "a,b\n1,2\n", "--import t.csv work", "already holds a setup file", true},
      {"the table is a file of the run", "a,b\n1,2\n", "--import objects.csv --csv",
       "is the file objects.csv of the current directory", false, "objects.csv"},
  };
  for (const auto& r : cases) {
    SCOPED_TRACE(r.what);
    Case c;
    c.write(r.file, r.csv);
    if (r.setup_present) {
      fs::create_directory(c.dir() / "work");
      c.write("work/ORTHAXIS.ST$", "old setup\n");
    }
    const auto before = snapshot(c.dir());
    Outcome o = c.run(r.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.starts_with("ORTHAXIS: ")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(snapshot(c.dir()), before);
  }
}

// --force imports into a directory that holds a setup file; the DIR that
// already holds a run's report is replaced by the new table's run.
TEST(Import, ForceReplacesTheSetupFile) {
  Case c;
  c.write("t.csv", ",a,b\nr1,1,2\nr2,2,1\nr3,3,3\n");
  fs::create_directory(c.dir() / "work");
  c.write("work/ORTHAXIS.ST$", "old setup\n");
  Outcome o = c.run("--import t.csv --force --axes 1 work");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("work/SUCCES.ST$"));
  EXPECT_NE(c.read("work/ORTHAXIS.ST$").find("PCA FROM CORRELATIONS"), std::string::npos);
}

}  // namespace
}  // namespace orthaxis::e2e
