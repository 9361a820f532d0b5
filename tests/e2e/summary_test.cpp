// A person's run on a terminal shows a short summary; --verbose, or standard
// output that is not a terminal, shows the console as before.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

// Standard output on a pseudo-terminal (script(1)); its text with the
// terminal's CR LF made LF.
std::string on_terminal(const Case& c, const std::string& args) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) return "";
  const std::string cmd = "cd '" + c.dir().string() + "' && script -qec \"'" +
                          std::string(ORTHAXIS_BINARY) + "' " + args +
                          " 2>/dev/null\" /dev/null > terminal.txt";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << args;
  std::string out = c.read("terminal.txt");
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

std::string wide_table(int n, int p) {
  std::string t = "name";
  for (int j = 0; j < p; ++j) t += ",variable_with_a_long_name_" + std::to_string(j + 1);
  t += '\n';
  for (int i = 0; i < n; ++i) {
    t += "object " + std::to_string(i + 1);
    for (int j = 0; j < p; ++j) t += "," + std::to_string((i * 7 + j * 13) % 23 + (i % 5) * j % 7);
    t += '\n';
  }
  return t;
}

TEST(Summary, ATerminalGetsAtMostFortyLinesAndVerboseTheConsole) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  Case c;
  c.write("t.csv", wide_table(400, 60));
  // The run replaces its setup file with the report: each run imports anew.
  const std::string args = "--import t.csv w --force --axes 15 --svg";
  const std::string summary = on_terminal(c, args);
  EXPECT_LE(std::count(summary.begin(), summary.end(), '\n'), 40) << summary;
  for (const char* part : {"data.dat", "400 objects x 60 variables", "PCA from correlations",
                           "15 axes retained", "Eigenvalue  Percent  Cumulative",
                           "(5 more axes in the report)", "Axis  5 variables", "biplot.svg",
                           "contributions_3.svg", " STOP"})
    EXPECT_NE(summary.find(part), std::string::npos) << part << "\n" << summary;
  EXPECT_EQ(summary.find("***  KEL-VOX"), std::string::npos);

  // --verbose on a terminal is the console that a pipe receives.
  Outcome piped = c.run(args);
  ASSERT_EQ(piped.status, 0);
  piped.out.erase(std::remove(piped.out.begin(), piped.out.end(), '\r'), piped.out.end());
  EXPECT_EQ(on_terminal(c, args + " --verbose"), piped.out);
  EXPECT_EQ(piped.out.find("Largest contributions"), std::string::npos);
}

// The summary's files are those the run wrote: the supplementary table is
// among them.
TEST(Summary, ListsTheFilesTheRunWrote) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  Case c;
  c.write("t.csv", wide_table(30, 5));
  const std::string summary = on_terminal(c, "--import t.csv w --sup-rows 1 --csv");
  EXPECT_NE(summary.find("objects_sup.csv"), std::string::npos) << summary;
}

}  // namespace
}  // namespace orthaxis::e2e
