// Runs for a person (any argument given): --check, --quiet, located read
// errors, warnings and progress on standard error. Each keeps its promise
// about files: a check touches nothing, and the other runs leave exactly the
// files and exit status of the run without arguments.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

using Files = std::map<std::string, std::string>;

// Every file of the case's directory with its content.
Files snapshot(const Case& c) {
  Files files;
  for (const auto& e : std::filesystem::directory_iterator(c.dir()))
    files[e.path().filename().string()] = c.read(e.path().filename().string());
  return files;
}

const std::vector<std::string> kNames = {"d.txt", "obj.txt", "var.txt", "vl.txt", "ol.txt",
                                         "mat.txt"};
// Correlation PCA of 4 objects and 2 variables with variable labels; the
// setup's column count and orientation are filled in per case.
std::string values(int rows, int columns, int components = 2, int orientation = 1,
                   int variable_labels = 0, int object_labels = 0) {
  return std::to_string(rows) + " " + std::to_string(columns) + " 3 0 " +
         std::to_string(components) + " 0 " + std::to_string(object_labels) + " " +
         std::to_string(variable_labels) + " 0 0 0 " + std::to_string(orientation);
}
const std::string kTiny = "tiny data set\n4\n1 2\n2 1\n3 5\n4 3\n";

void prepare(const Case& c, const std::string& setup, const std::string& data) {
  c.setup(setup, kNames);
  c.write("d.txt", data);
}

// The same inputs run without arguments and with `args`: same files, same status.
struct Pair {
  Outcome plain, person;
  Files plain_files, person_files;
};
Pair run_both(const std::string& setup, const std::string& data, const std::string& args,
              const Files& extra = {}) {
  Case a, b;
  for (const Case* c : {&a, &b}) {
    prepare(*c, setup, data);
    for (const auto& [name, content] : extra) c->write(name, content);
  }
  Pair p;
  p.plain = a.run();
  p.person = b.run(args);
  p.plain_files = snapshot(a);
  p.person_files = snapshot(b);
  return p;
}

// ---------------------------------------------------------------------------
// --check

TEST(Check, ReadsEveryInputSaysWhatItFoundAndTouchesNothing) {
  struct CheckCase {
    std::string name, setup, data;
    Files extra;
    std::vector<std::string> out;
    std::string err;
  };
  const std::vector<CheckCase> cases = {
      {"rows are objects, labels, an old marker",
       values(4, 2, 2, 1, 1, 1), "t\n4\n1 2\n2 -1\n3 5\n4 3\n",
       {{"vl.txt", "2\nheight_in_cm\nweight\n"}, {"ol.txt", "4\na\nb\nc\nd\n"}, {"SUCCES.ST$", ""}},
       {"ORTHAXIS.ST$: PCA FROM CORRELATIONS, 2 axes retained",
        "d.txt: 4 objects, 2 variables, 1 missing value", "vl.txt: 2 variable labels",
        "ol.txt: 4 object labels", "check passed with 2 warnings; nothing was written"},
       "ORTHAXIS: warning: vl.txt: 1 label is longer than 8 characters and cut, the first on "
       "line 2 to \"height_i\"\n"
       "ORTHAXIS: warning: 1 missing value (negative numbers), left out pair by pair: variable 2 "
       "(weight): 1\n"},
      {"columns are objects: read through the transposition, no NEWDATA.st$",
       values(2, 4, 2, 0), "t\n2 4\n1 2 3 4\n2 1 5 3\n", {},
       {"ORTHAXIS.ST$: PCA FROM CORRELATIONS, 2 axes retained",
        "d.txt: 4 objects, 2 variables, 0 missing values",
        "check passed with 0 warnings; nothing was written"},
       ""},
  };
  for (const CheckCase& k : cases) {
    SCOPED_TRACE(k.name);
    Case c;
    prepare(c, k.setup, k.data);
    for (const auto& [name, content] : k.extra) c.write(name, content);
    const Files before = snapshot(c);
    Outcome o = c.run("--check");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Case::split(o.out), k.out);
    EXPECT_EQ(o.err, k.err);
    EXPECT_EQ(snapshot(c), before);
  }
}

// The variables whose standard deviation the run's statistics block shows
// as below 1e-6 or not a number, as "2, 3".
std::string without_spread(const std::string& console, int p) {
  std::string list;
  std::istringstream in(console.substr(console.find("AS %")));
  std::string line;
  for (int j = 1; j <= p && std::getline(in, line);) {
    std::istringstream fields(line);
    int number = 0;
    std::string mean, sd;
    if (!(fields >> number >> mean >> sd) || number != j) continue;
    const double value = std::strtod(sd.c_str(), nullptr);
    if (!(value >= 1e-6)) list += (list.empty() ? "" : ", ") + std::to_string(j);
    ++j;
  }
  return list;
}

TEST(Check, WarnsOfTheVariablesOnWhichTheRunStopsForWantOfSpread) {
  // A constant variable, one whose spread single precision loses, and one
  // with a single present value: the check agrees with the run itself.
  const std::string rows =
      "t\n4\n1 2 100000 3 5\n2 2 100000.01 1 -1\n3 2 100000 4 -1\n4 2 100000.01 1 -1\n";
  const std::string columns =
      "t\n5 4\n1 2 3 4\n2 2 2 2\n100000 100000.01 100000 100000.01\n3 1 4 1\n5 -1 -1 -1\n";
  for (int orientation : {1, 0}) {
    SCOPED_TRACE(orientation);
    Pair p = orientation == 1 ? run_both(values(4, 5), rows, "--check")
                              : run_both(values(5, 4, 2, 0), columns, "--check");
    ASSERT_EQ(p.plain.status, 1);
    EXPECT_EQ(p.person.status, 0);
    const std::string stopped = without_spread(p.plain.out, 5);
    ASSERT_EQ(stopped.substr(0, 1), "2") << p.plain.out;
    EXPECT_EQ(p.person.err,
              "ORTHAXIS: warning: 3 missing values (negative numbers), left out pair by pair: "
              "variable 5: 3\n"
              "ORTHAXIS: warning: no spread in variables " + stopped + ": the analysis stops\n")
        << p.plain.out;
  }
}

TEST(Check, AFailureIsReportedWithExitStatus2AndTouchesNothing) {
  struct FailCase {
    std::string setup, data, err;
  };
  const FailCase cases[] = {
      {values(4, 2), "t\n4\n1 2\n2 NA\n3 5\n4 3\n",
       "ORTHAXIS: d.txt, line 4, field 2: \"NA\" is not a number (a missing value is written as "
       "a negative number) [READ error on unit 1]\n"},
      {values(2, 4, 2, 0), "t\n2 4\n1 2 3 4\n2 1 5\n",
       "ORTHAXIS: d.txt, line 5: the file ends before row 2 of 2 is complete (4 values a row) "
       "[READ error on unit 1]\n"},
      {"4 2 7 0 2 0 0 0 0 0 0 1", kTiny,
       "ORTHAXIS: invalid setup value: analysis type = 7 (allowed: 1 to 4)\n"},
  };
  for (const FailCase& k : cases) {
    SCOPED_TRACE(k.err);
    Case c;
    prepare(c, k.setup, k.data);
    c.write("SUCCES.ST$", "");
    const Files before = snapshot(c);
    Outcome o = c.run("--check");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, k.err);
    EXPECT_EQ(snapshot(c), before);
  }
}

TEST(Check, RefusesASetupWhoseNamesTheRunRefuses) {
  Case c;
  c.setup(values(4, 2), {"d.txt", "d.txt", "var.txt", "vl.txt", "ol.txt", "mat.txt"});
  c.write("d.txt", kTiny);
  const Files before = snapshot(c);
  Outcome checked = c.run("--check");
  EXPECT_EQ(snapshot(c), before);
  Outcome plain = c.run();
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(checked.status, 2);
  EXPECT_EQ(checked.err, plain.err);
}

// ---------------------------------------------------------------------------
// --quiet

const std::string kBanner =
    " ***  KEL-VOX PROGRAM ORTHAXIS - ver. Oct  00 ***\n"
    " ***          PRINCIPAL COMPONENT             ***\n"
    " ***      AND CORRESPONDENCE ANALYSIS         ***\n\n";

TEST(Quiet, TheConsoleKeepsBannerWarningsAbnormalEndsAndStopAndEveryFileIsThePlainRuns) {
  struct QuietCase {
    std::string name, setup, data, out;
    int status;
  };
  const QuietCase cases[] = {
      {"normal end", values(4, 2), kTiny, kBanner + " STOP  \n", 0},
      {"transposed, stopped on a constant variable", values(2, 4, 2, 0),
       "t\n2 4\n1 2 3 4\n7 7 7 7\n",
       kBanner + "  WARNING: COLS OF DATA MATRIX WILL BE ORDINATED\n"
                 "   ABNORMAL TERMINATION. REMOVE THE VARIABLE(S) WITH ZERO VARIANCE AND "
                 "RESTART\n STOP  \n",
       1},
  };
  for (const QuietCase& k : cases) {
    SCOPED_TRACE(k.name);
    Pair p = run_both(k.setup, k.data, "--quiet");
    EXPECT_EQ(p.plain.status, k.status);
    EXPECT_EQ(p.person.status, k.status);
    EXPECT_EQ(p.person.out, k.out);
    EXPECT_EQ(p.person_files, p.plain_files);
  }
}

// ---------------------------------------------------------------------------
// Located read errors

TEST(LocatedErrors, AReadErrorNamesLineFieldTextAndCauseWithThePlainRunsFiles) {
  struct ErrorCase {
    std::string name, data, err;
  };
  const ErrorCase cases[] = {
      {"header row", "t\n4\nheight weight\n1 2\n2 1\n3 5\n",
       "ORTHAXIS: d.txt, line 3, field 1: \"height\" is not a number (only numbers can be read "
       "here: no header row, no row names) [READ error on unit 1]\n"},
      {"NA", "t\n4\n1 2\n2 NA\n3 5\n4 3\n",
       "ORTHAXIS: d.txt, line 4, field 2: \"NA\" is not a number (a missing value is written as "
       "a negative number) [READ error on unit 1]\n"},
      {"decimal comma beside a semicolon", "t\n4\n1,5;2\n2,5;1\n3;5\n4;3\n",
       "ORTHAXIS: d.txt, line 3, field 2: \"5;2\" is not a number (values are separated by "
       "blanks or commas, and the decimal mark is a point) [READ error on unit 1]\n"},
      {"truncated file", "t\n4\n1 2\n2 1\n3 5\n4\n",
       "ORTHAXIS: d.txt, line 7: the file ends before row 4 of 4 is complete (2 values a row) "
       "[READ error on unit 1]\n"},
  };
  for (const ErrorCase& k : cases) {
    SCOPED_TRACE(k.name);
    Pair p = run_both(values(4, 2), k.data, ".");
    EXPECT_EQ(p.plain.status, 2);
    EXPECT_EQ(p.person.status, 2);
    EXPECT_EQ(p.person.err, k.err);
    EXPECT_EQ(p.person.out, p.plain.out);
    EXPECT_EQ(p.person_files, p.plain_files);
    EXPECT_EQ(p.plain.err.rfind("ORTHAXIS: READ error on unit 1, file \"d.txt\", record ", 0), 0u)
        << p.plain.err;
  }
}

// ---------------------------------------------------------------------------
// Warnings

TEST(Warnings, EachIsOneLineOnStandardErrorAndChangesNothingElse) {
  struct WarningCase {
    std::string name, setup, data;
    Files extra;
    std::string err;
    int status;
  };
  const WarningCase cases[] = {
      {"decimal commas leave values on the line", values(4, 2), "t\n4\n1,5 2\n2,5 1\n3 5\n4 3\n",
       {},
       "ORTHAXIS: warning: d.txt: 2 rows leave values unread at the end of their last line, the "
       "first on line 3 (a decimal comma, or more columns than the setup file gives?)\n",
       0},
      {"values after the last row and counts of line 2", values(4, 2),
       "t\n4 2\n1 2\n2 1\n3 5\n4 3\n5 5\n6\n", {},
       "ORTHAXIS: warning: d.txt: 3 values are left after the last row that is read (more rows "
       "than the setup file gives?)\n",
       0},
      {"counts of line 2 differ", values(4, 2), "t\n5 2\n1 2\n2 1\n3 5\n4 3\n", {},
       "ORTHAXIS: warning: d.txt, line 2: counts 5 and 2 differ from the setup file's 4 and 2 "
       "(the setup file's are used)\n",
       0},
      {"transposed counts smaller than the setup's", values(3, 4, 2, 0),
       "t\n2 4\n1 2 3 4\n2 1 5 3\n", {},
       "ORTHAXIS: warning: d.txt, line 2: counts 2 and 4 differ from the setup file's 3 and 4 "
       "(the data file's are used)\n",
       0},
      {"labels cut", values(4, 2, 2, 1, 0, 1), kTiny,
       {{"ol.txt", "4\nfirst_object\nb\nthird_object\nd\n"}},
       "ORTHAXIS: warning: ol.txt: 2 labels are longer than 8 characters and cut, the first on "
       "line 2 to \"first_ob\"\n",
       0},
      {"missing values", values(4, 3), "t\n4\n1 2 3\n2 -1 1\n3 5 -2\n4 3 4\n", {},
       "ORTHAXIS: warning: 2 missing values (negative numbers), left out pair by pair: variable "
       "2: 1, variable 3: 1\n",
       0},
      {"no spread", values(4, 3, 2, 1, 1), "t\n4\n1 2 3\n2 2 1\n3 2 4\n4 2 1\n",
       {{"vl.txt", "3\nA\nCONST\nC\n"}},
       "ORTHAXIS: warning: no spread in variable 2 (CONST): the analysis stops\n", 1},
      {"axes lowered", values(4, 2), "t\n4\n1 2\n2 4\n3 6\n4 8\n", {},
       "ORTHAXIS: warning: 2 axes are asked for, but only 1 eigenvalue is positive: 1 axis "
       "retained\n",
       0},
  };
  for (const WarningCase& k : cases) {
    SCOPED_TRACE(k.name);
    Pair p = run_both(k.setup, k.data, ".", k.extra);
    EXPECT_EQ(p.plain.status, k.status);
    EXPECT_EQ(p.person.status, k.status);
    EXPECT_EQ(p.plain.err, "");
    EXPECT_EQ(p.person.err, k.err);
    EXPECT_EQ(p.person.out, p.plain.out);
    EXPECT_EQ(p.person_files, p.plain_files);
  }
}

// ---------------------------------------------------------------------------
// Progress

// Runs with standard error on a pseudo-terminal, standard output in a file
// or on the terminal as well; returns what the terminal got.
std::string run_on_terminal(const Case& c, const std::string& args, bool console_too = false) {
  const std::string cmd = "cd '" + c.dir().string() + "' && script -qc \"'" + ORTHAXIS_BINARY +
                          "' " + args + (console_too ? "" : " > stdout.txt") +
                          "\" /dev/null < /dev/null > tty.txt 2>&1";
  if (std::system(cmd.c_str()) != 0) return "(script failed)";
  std::string tty = c.read("tty.txt");
  std::filesystem::remove(c.dir() / "tty.txt");
  std::filesystem::remove(c.dir() / "stdout.txt");
  return tty;
}

TEST(Progress, ShownOnATerminalThatTheConsoleLeavesFreeAndNeverWithQuiet) {
  if (std::system("script -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "script is not available";
  Case c;
  c.copy_example("dune");
  const std::string tty = run_on_terminal(c, ".");
  EXPECT_NE(tty.find("\reigenanalysis: threshold step 1 of "), std::string::npos) << tty;
  EXPECT_NE(tty.find("\rscores of 20 objects and 30 variables"), std::string::npos) << tty;
  // The line is cleared at the end: blanks over it, then the line's start.
  EXPECT_EQ(tty.back(), '\r') << tty;

  Case q;
  q.copy_example("dune");
  EXPECT_EQ(run_on_terminal(q, ". --quiet"), "");

  // The console's lines on the same terminal would run into the progress line.
  Case shared;
  shared.copy_example("dune");
  const std::string both = run_on_terminal(shared, ".", true);
  EXPECT_NE(both.find("STOP"), std::string::npos) << both;
  EXPECT_EQ(both.find("eigenanalysis: threshold step"), std::string::npos) << both;

  Case piped;
  piped.copy_example("dune");
  Outcome o = piped.run(".");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
}

}  // namespace
}  // namespace orthaxis::e2e
