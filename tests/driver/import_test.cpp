// What an imported table may hold for each analysis, and the setup and data
// files it becomes.

#include <gtest/gtest.h>

#include <string>

#include "driver/import.h"
#include "input/csv_table.h"

namespace {

using orthaxis::driver::check_for_analysis;
using orthaxis::driver::ImportAnalysis;
using orthaxis::driver::Options;
using orthaxis::input::CsvError;
using orthaxis::input::parse_csv;

TEST(ImportCheck, RefusesWhatTheAnalysisCannotTakeAndNamesTheCell) {
  struct Case {
    const char* text;
    ImportAnalysis analysis;
    std::int64_t line, field;  // 0: accepted
    const char* reason;
    std::int64_t missing;  // when accepted
  };
  const Case cases[] = {
      {",a,b\nr1,1,NA\nr2,2,3\n", ImportAnalysis::kCorrelation, 0, 0, "", 1},
      {",a,b\nr1,0,1\nr2,2,3\n", ImportAnalysis::kCorrespondence, 0, 0, "", 0},
      {",a,b\nr1,1,2\nr2,2,-0.5\n", ImportAnalysis::kCovariance, 3, 3, "-0.5 is negative", 0},
      {"a,b\n-1,2\n", ImportAnalysis::kCorrelation, 2, 1, "marks a missing value", 0},
      {",a,b\nr1,1,NA\n", ImportAnalysis::kCorrespondence, 2, 3, "missing value cannot", 0},
      {",a,b\nr1,1,2\nr2,-3,1\n", ImportAnalysis::kCorrespondence, 3, 2, "-3 is negative", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto table = parse_csv(c.text, {});
    if (c.line == 0) {
      EXPECT_EQ(check_for_analysis(table, c.analysis), c.missing);
      continue;
    }
    try {
      check_for_analysis(table, c.analysis);
      ADD_FAILURE() << "accepted";
    } catch (const CsvError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.field(), c.field);
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

// The twelve values: the analysis and the axes asked for, labels as the
// table has them, short printout, correlations of variables with
// components, scores normalised to unity, rows as objects.
TEST(ImportSetup, FillsTheTwelveValuesFromTheTableAndTheOptions) {
  struct Case {
    const char* text;
    ImportAnalysis analysis;
    std::int32_t axes;
    const char* values;
  };
  const Case cases[] = {
      {",a,b,c\nr1,1,2,3\nr2,4,5,6\n", ImportAnalysis::kCorrelation, 2, "2 3 3 0 2 0 1 1 0 0 1 1"},
      {"a,b,c\n1,2,3\n4,5,6\n", ImportAnalysis::kCovariance, 3, "2 3 2 0 3 0 0 1 0 0 1 1"},
      // Cross products: the program takes both score options as 0.
      {"a,b,c\n1,2,3\n", ImportAnalysis::kCrossProducts, 1, "1 3 1 0 1 0 0 1 0 0 0 1"},
      // Correspondence analysis with symmetric scaling; more axes than
      // variables asked: as many as there are variables.
      {",a,b\nr1,1,2\n", ImportAnalysis::kCorrespondence, 9, "1 2 4 0 2 1 1 1 0 0 1 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Options o;
    o.import_file = "t.csv";
    o.analysis = c.analysis;
    o.axes = c.axes;
    EXPECT_EQ(orthaxis::driver::import_setup(parse_csv(c.text, {}), o),
              std::string(c.values) +
                  "\ndata.dat\nobjects.sco\nvariables.sco\nvariables.lab\nobjects.lab\nmatrix.mat\n");
  }
}

TEST(ImportData, WritesTitleCountsAndOneLinePerObjectWithMissingAsMinusOne) {
  auto table = parse_csv("\"\",\"x\",\"y\"\n\"a\",0.1,NA\n\"b\",-0,1e-3\n", {});
  std::string out;
  orthaxis::driver::import_data(table, "t.csv\nsecond line",
                                [&](std::string_view piece) { out += piece; });
  EXPECT_EQ(out, "t.csv second line\n2 2\n0.1 -1\n0 0.001\n");
}

}  // namespace
