// The run from start to end, seen from outside: the setup file becoming the
// report, the opening of the report and its console copy byte for byte, the
// transposition into NEWDATA.st$, labels, the success marker, and every way a
// bad setup or bad input ends the run.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

// ---------------------------------------------------------------------------
// Inputs

// Index of each of the twelve run values of the setup file.
enum Field { kRows, kCols, kType, kMatrix, kComponents, kScaling, kObjectLabels, kVariableLabels,
             kPrintout, kVariableScores, kObjectNorm, kOrientation };

struct Values {
  // A correlation PCA of 4 objects and 2 variables, two axes, nothing optional.
  std::array<int, 12> v{4, 2, 3, 0, 2, 0, 0, 0, 0, 0, 0, 1};
  Values& set(Field f, int value) {
    v[f] = value;
    return *this;
  }
  std::string line() const {
    std::string s;
    for (int x : v) {
      if (!s.empty()) s += ' ';
      s += std::to_string(x);
    }
    return s;
  }
};

const std::vector<std::string> kNames = {"d.txt", "obj.txt", "var.txt", "vl.txt", "ol.txt",
                                         "mat.txt"};

// 4 objects, 2 variables, both with non-zero variance.
const std::string kTiny = "tiny data set\n4\n1 2\n2 1\n3 5\n4 3\n";
// A 4 x 3 table of counts for correspondence analysis.
const std::string kCounts = "counts\n4\n5 2 1\n2 6 3\n1 2 7\n4 4 4\n";

void prepare(const Case& c, const Values& v, const std::string& data = kTiny) {
  c.setup(v.line(), kNames);
  c.write("d.txt", data);
}

// ---------------------------------------------------------------------------
// Expected records, written from the report formats

std::string pad(const std::string& s, std::size_t width) {
  return s + std::string(width - s.size(), ' ');
}
std::string right(int value, std::size_t width) {
  const std::string s = std::to_string(value);
  return std::string(width - s.size(), ' ') + s;
}

// (///1X,'PRINCIPAL COMPONENTS ANALYSIS PERFORMED ','BY PROGRAM ORTHAXIS'//1X,A100)
std::vector<std::string> pca_heading(const std::string& title) {
  return {"", "", "", " PRINCIPAL COMPONENTS ANALYSIS PERFORMED BY PROGRAM ORTHAXIS", "",
          " " + pad(title, 100)};
}
// (///1X,'CORRESPONDENCE ANALYSIS PERFORMED BY PROGRAM',' ORTHAXIS'//1X,A100//)
std::vector<std::string> coa_heading(const std::string& title) {
  return {"", "", "", " CORRESPONDENCE ANALYSIS PERFORMED BY PROGRAM ORTHAXIS", "",
          " " + pad(title, 100), "", ""};
}

struct Block {
  int rows = 4, cols = 2;
  std::string type = "PCA FROM CORRELATIONS";
  int components = 2;
  std::string object_labels = "NOT USED", variable_labels = "NOT USED";
  std::string coa = " NOT APPLICABLE";
  std::string matrix = "NOT SAVED", printout = "SHORT";
  std::string variable_scores = "CORRELATIONS OF VAR. WITH COMPONENTS";
  std::string object_scores = "NORMALIZED TO LAMBDA";
};

// The run-parameter block: two empty records, the title line, an empty
// record, eleven fields (every literal is 33 characters), and the empty
// record of the final slash.
std::vector<std::string> block(const Block& b) {
  return {"",
          "",
          " INPUT AND RUN PARAMETERS",
          "",
          " NUMBER OF ROWS =                " + right(b.rows, 7),
          " NUMBER OF COLS  =               " + right(b.cols, 7),
          " TYPE OF ANALYSIS =              " + pad(b.type, 50),
          " NO. OF COMPONENTS RETAINED =    " + right(b.components, 5),
          " LABELS FOR OBJECTS =            " + pad(b.object_labels, 30),
          " LABELS FOR VARIABLES =          " + pad(b.variable_labels, 30),
          " CORRESP. ANALYSIS =             " + pad(b.coa, 50),
          " MATRIX =                        " + pad(b.matrix, 30),
          " PRINTOUT =                      " + pad(b.printout, 30),
          " VAR. SCORE OPTION =             " + pad(b.variable_scores, 50),
          " OBJ. SCORE =                    " + pad(b.object_scores, 50),
          ""};
}

// A free-format record of a literal and a 100-character name.
std::string file_line(const std::string& literal, const std::string& name) {
  return " " + literal + pad(name, 100);
}
std::vector<std::string> basic_file_lines() {
  return {file_line(" INPUT DATA READ FROM FILE ", "d.txt"),
          file_line(" OBJECT SCORES ARE WRITTEN IN FILE ", "obj.txt"),
          file_line(" VAR. SCORES ARE WRITTEN IN FILE ", "var.txt")};
}

const std::vector<std::string> kBanner = {
    " ***  KEL-VOX PROGRAM ORTHAXIS - ver. Oct  00 ***",
    " ***          PRINCIPAL COMPONENT             ***",
    " ***      AND CORRESPONDENCE ANALYSIS         ***",
    ""};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The console shows its first record as is and every later one after a line
// end; the bytes of `records` followed by the start of the next record.
std::string console_prefix(const std::vector<std::string>& records) {
  std::string s;
  for (std::size_t i = 0; i < records.size(); ++i) s += (i == 0 ? "" : "\n") + records[i];
  return s + "\n";
}
std::string report_prefix(const std::vector<std::string>& records) {
  std::string s;
  for (const auto& r : records) s += r + "\n";
  return s;
}

// Whether `text` holds `token` with no digit or sign glued to either side.
bool has_number(const std::string& text, const std::string& token) {
  for (auto pos = text.find(token); pos != std::string::npos; pos = text.find(token, pos + 1)) {
    auto glued = [&](std::size_t i) {
      return std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '-';
    };
    bool left = pos > 0 && glued(pos - 1);
    bool right_side = pos + token.size() < text.size() && glued(pos + token.size());
    if (!left && !right_side) return true;
  }
  return false;
}

std::vector<double> numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (std::string tok; in >> tok;) out.push_back(std::strtod(tok.c_str(), nullptr));
  return out;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// An input/output or setup failure: exit 2, the reason on standard error
// (never the stop line on the console), and no success marker.
void expect_failure(const Case& c, const Outcome& o, const std::vector<std::string>& words) {
  EXPECT_EQ(o.status, 2) << o.err;
  for (const auto& w : words) EXPECT_TRUE(contains(o.err, w)) << "'" << w << "' in: " << o.err;
  EXPECT_FALSE(contains(o.out, "STOP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
}

// ---------------------------------------------------------------------------
// Normal end and the other ends of a run

TEST(RunSpineEnd, PcaRunLeavesTheReportAnEmptyMarkerAndNoScratchFile) {
  Case c;
  prepare(c, Values{});
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_FALSE(c.exists("T.TMP"));
  ASSERT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_EQ(c.read("SUCCES.ST$"), "");
  // The setup values and names are gone: the file starts with the heading.
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_EQ(report.rfind(report_prefix(pca_heading("tiny data set")), 0), 0u);
  EXPECT_FALSE(contains(report, Values{}.line()));
  EXPECT_FALSE(contains(report, "\nobj.txt\n"));
  // A PCA run ends with the stop line and one line end, never "JOB TERMINATED".
  EXPECT_FALSE(contains(o.out, "JOB TERMINATED"));
  ASSERT_GE(o.out.size(), 9u);
  EXPECT_EQ(o.out.substr(o.out.size() - 9), "\n STOP  \n");
  EXPECT_EQ(o.out.find(" STOP  "), o.out.size() - 8);
}

TEST(RunSpineEnd, AnOldMarkerIsReplacedByAnEmptyOne) {
  Case c;
  prepare(c, Values{});
  c.write("SUCCES.ST$", "marker of an earlier run\n");
  ASSERT_EQ(c.run().status, 0);
  ASSERT_TRUE(c.exists("SUCCES.ST$"));
  EXPECT_EQ(c.read("SUCCES.ST$"), "");
}

TEST(RunSpineEnd, ZeroVarianceStopKeepsScratchFileAndLeavesNoMarker) {
  Case c;
  // The second variable is constant.
  prepare(c, Values{}, "flat\n4\n1 2\n2 2\n3 2\n4 2\n");
  c.write("SUCCES.ST$", "");
  Outcome o = c.run();
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(c.exists("T.TMP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
  // Even a stopped run leaves the report in place of the setup values.
  EXPECT_EQ(c.read("ORTHAXIS.ST$").rfind(report_prefix(pca_heading("flat")), 0), 0u);
  ASSERT_GE(o.out.size(), 9u);
  EXPECT_EQ(o.out.substr(o.out.size() - 9), "\n STOP  \n");
}

// ---------------------------------------------------------------------------
// The opening of the report, byte for byte

TEST(RunSpineReport, PcaHeadingBlockAndFileLinesOnReportAndConsole) {
  Case c;
  // Labels of both kinds, matrix option 1, detailed printout, covariances of
  // variables and scores normalised to unity.
  Values v;
  v.set(kMatrix, 1).set(kObjectLabels, 1).set(kVariableLabels, 1).set(kPrintout, 1);
  v.set(kVariableScores, 1).set(kObjectNorm, 1);
  prepare(c, v);
  c.write("ol.txt", "4\nO1\nO2\nO3\nO4\n");
  c.write("vl.txt", "2\nV1\nV2\n");
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;

  Block b;
  b.object_labels = "USED";
  b.variable_labels = "USED";
  b.matrix = "SAVED";
  b.printout = "DETAILED";
  b.variable_scores = "COVARIANCES OF VAR. WITH COMPONENTS";
  b.object_scores = "NORMALIZED TO UNITY";
  const auto files = concat({basic_file_lines(),
                             {file_line(" MATRIX SAVED IN FILE ", "mat.txt"),
                              file_line(" LABELS FOR OBJECTS READ FROM FILE ", "ol.txt"),
                              file_line(" LABELS FOR VARIABLES READ FROM FILE ", "vl.txt")}});

  // Spot checks of the hand-built records against the format text.
  const auto blk = block(b);
  EXPECT_EQ(blk[4], " NUMBER OF ROWS =                      4");
  EXPECT_EQ(blk[7], " NO. OF COMPONENTS RETAINED =        2");
  EXPECT_EQ(blk[10].size(), 33u + 50u);
  EXPECT_EQ(blk[10].substr(30, 5), "    N");  // the CoA cell's own leading blank
  EXPECT_EQ(files[0].size(), 1u + 27u + 100u);
  EXPECT_EQ(files[0].substr(0, 33), "  INPUT DATA READ FROM FILE d.txt");

  const std::string report = c.read("ORTHAXIS.ST$");
  const auto expected_report = concat({pca_heading("tiny data set"), blk, files});
  EXPECT_EQ(report.substr(0, report_prefix(expected_report).size()),
            report_prefix(expected_report));
  // The next record belongs to the statistics, not to another file line.
  const auto records = Case::split(report);
  ASSERT_GT(records.size(), expected_report.size());
  EXPECT_FALSE(contains(records[expected_report.size()], "FILE"));

  const auto expected_console = concat({kBanner, {"", ""}, blk, files, {"", ""}});
  EXPECT_EQ(o.out.substr(0, console_prefix(expected_console).size()),
            console_prefix(expected_console));
}

TEST(RunSpineReport, CoaHeadingBlockWithoutMatrixLineAndJobTerminated) {
  Case c;
  // Matrix option 2 is ignored by correspondence analysis; symmetric scaling.
  Values v;
  v.set(kCols, 3).set(kType, 4).set(kMatrix, 2).set(kScaling, 1);
  prepare(c, v, kCounts);
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;

  Block b;
  b.cols = 3;
  b.type = "CORRESPONDENCE ANALYSIS";
  b.coa = " SYMMETRIC WEIGHTING";
  b.matrix = "SAVED";
  b.variable_scores = "NOT APPLICABLE";
  b.object_scores = "NOT APPLICABLE";
  const auto expected_report = concat({coa_heading("counts"), block(b), basic_file_lines()});
  const std::string report = c.read("ORTHAXIS.ST$");
  EXPECT_EQ(report.substr(0, report_prefix(expected_report).size()),
            report_prefix(expected_report));
  EXPECT_FALSE(contains(report, "MATRIX SAVED IN FILE"));
  EXPECT_FALSE(c.exists("mat.txt"));

  const auto expected_console = concat({kBanner, {"", ""}, block(b), basic_file_lines(), {"", ""}});
  EXPECT_EQ(o.out.substr(0, console_prefix(expected_console).size()),
            console_prefix(expected_console));
  EXPECT_FALSE(contains(o.out, "MATRIX SAVED IN FILE"));
  // One empty line, "  JOB TERMINATED" (after the free-format blank), the stop line.
  const std::string tail = "\n\n   JOB TERMINATED\n STOP  \n";
  ASSERT_GE(o.out.size(), tail.size());
  EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
  EXPECT_FALSE(c.exists("T.TMP"));
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
}

TEST(RunSpineReport, TypeOneForcesTheScoreOptions) {
  Case c;
  Values v;
  v.set(kType, 1).set(kVariableScores, 2).set(kObjectNorm, 1);
  prepare(c, v);
  ASSERT_EQ(c.run().status, 0);
  Block b;
  b.type = "PCA FROM CROSS PRODUCTS";
  const auto blk = block(b);
  const auto records = c.lines("ORTHAXIS.ST$");
  ASSERT_GT(records.size(), 20u);
  EXPECT_EQ(records[19], blk[13]);  // CORRELATIONS OF VAR. WITH COMPONENTS
  EXPECT_EQ(records[20], blk[14]);  // NORMALIZED TO LAMBDA
}

TEST(RunSpineReport, CoaFieldKeepsItsLeadingBlankForEveryPcaType) {
  const char* types[] = {"PCA FROM CROSS PRODUCTS", "PCA FROM COVARIANCES",
                         "PCA FROM CORRELATIONS"};
  for (int type = 1; type <= 3; ++type) {
    SCOPED_TRACE(type);
    Case c;
    // The scaling value plays no part outside correspondence analysis.
    prepare(c, Values{}.set(kType, type).set(kScaling, 2));
    ASSERT_EQ(c.run().status, 0);
    Block b;
    b.type = types[type - 1];
    const auto expected = concat({pca_heading("tiny data set"), block(b), basic_file_lines()});
    EXPECT_EQ(c.read("ORTHAXIS.ST$").substr(0, report_prefix(expected).size()),
              report_prefix(expected));
  }
}

TEST(RunSpineReport, AnyNonZeroObjectLabelFlagAndPrintoutReadAsUsedAndDetailed) {
  struct Flags {
    int object_labels, printout;
  } cases[] = {{2, 2}, {7, 5}, {-1, -3}};
  for (const auto& f : cases) {
    SCOPED_TRACE(f.object_labels);
    Case c;
    prepare(c, Values{}.set(kObjectLabels, f.object_labels).set(kPrintout, f.printout));
    c.write("ol.txt", "4\nALPHA\nBETA\nGAMMA\nDELTA\n");
    Outcome o = c.run();
    ASSERT_EQ(o.status, 0) << o.err;
    Block b;
    b.object_labels = "USED";
    b.printout = "DETAILED";
    const auto files =
        concat({basic_file_lines(), {file_line(" LABELS FOR OBJECTS READ FROM FILE ", "ol.txt")}});
    const auto expected = concat({pca_heading("tiny data set"), block(b), files});
    const std::string report = c.read("ORTHAXIS.ST$");
    EXPECT_EQ(report.substr(0, report_prefix(expected).size()), report_prefix(expected));
    // The labels were read: the object lines carry them.
    EXPECT_TRUE(contains(report, "\n   2 BETA     "));
    EXPECT_TRUE(contains(report, "\n   4 DELTA    "));
  }
}

TEST(RunSpineReport, MatrixOptionOneCreatesAnEmptyMatrixFileNamedInTheReport) {
  Case c;
  prepare(c, Values{}.set(kType, 2).set(kMatrix, 1));
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_TRUE(c.exists("mat.txt"));
  EXPECT_EQ(c.read("mat.txt"), "");
  const std::string line = file_line(" MATRIX SAVED IN FILE ", "mat.txt");
  EXPECT_TRUE(contains(c.read("ORTHAXIS.ST$"), "\n" + line + "\n"));
  EXPECT_TRUE(contains(o.out, "\n" + line + "\n"));
}

TEST(RunSpineReport, NamesAndTitlesAreCutTo100Characters) {
  Case c;
  const std::string name(100, 'n');
  const std::string title(100, 't');
  std::vector<std::string> names = kNames;
  names[0] = name + "xyz";  // cut to the 100 characters of the field
  c.setup(Values{}.line(), names);
  c.write(name, title + "ignored\n4\n1 2\n2 1\n3 5\n4 3\n");
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  const auto records = c.lines("ORTHAXIS.ST$");
  ASSERT_GT(records.size(), 22u);
  EXPECT_EQ(records[5], " " + title);
  EXPECT_EQ(records[22], "  INPUT DATA READ FROM FILE " + name);
}

// ---------------------------------------------------------------------------
// The setup file

TEST(RunSpineSetup, ValuesOnOneLineOnTwelveLinesOrWithATrailingRemarkGiveTheSameRun) {
  Values v;
  v.set(kObjectLabels, 1).set(kVariableLabels, 1).set(kPrintout, 1).set(kVariableScores, 2);
  std::string names;
  for (const auto& n : kNames) names += n + "\n";
  std::string twelve_lines;
  for (int x : v.v) twelve_lines += std::to_string(x) + "\n";
  const std::string variants[] = {
      v.line() + "\n" + names,
      twelve_lines + names,
      // Commas count as separators; the rest of the twelfth value's line is skipped.
      "4, 2, 3 ,0\n2 0 1\n1 1 2 0 1 these words are not a file name\n" + names,
  };
  std::vector<std::string> results;
  for (const auto& setup : variants) {
    Case c;
    c.write("ORTHAXIS.ST$", setup);
    c.write("d.txt", kTiny);
    c.write("ol.txt", "4\nO1\nO2\nO3\nO4\n");
    c.write("vl.txt", "2\nV1\nV2\n");
    Outcome o = c.run();
    EXPECT_EQ(o.status, 0) << o.err;
    std::string all = o.out + "\f" + o.err;
    for (const char* f : {"ORTHAXIS.ST$", "obj.txt", "var.txt", "EIGENV.ST$", "EIGENV.txt"})
      all += std::string("\f") + f + "\f" + c.read(f);
    results.push_back(all);
  }
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[0], results[2]);
}

TEST(RunSpineSetup, TrailingBlanksAreNotPartOfAName) {
  Case c;
  c.write("ORTHAXIS.ST$", Values{}.line() + "\nd.txt   \nobj.txt \nvar.txt  \n\n\n\n");
  c.write("d.txt", kTiny);
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(c.exists("obj.txt"));
  EXPECT_TRUE(c.exists("var.txt"));
  const auto expected = concat({pca_heading("tiny data set"), block(Block{}), basic_file_lines()});
  EXPECT_EQ(c.read("ORTHAXIS.ST$").substr(0, report_prefix(expected).size()),
            report_prefix(expected));
}

TEST(RunSpineSetup, TooFewValuesOrNamesAreAnInputError) {
  const std::string values = Values{}.line();
  const std::string setups[] = {
      "4 2 3 0 2 0 0 0 0 0 0\n",                                          // eleven values
      values + "\nd.txt\nobj.txt\nvar.txt\nvl.txt\nol.txt\n",             // five names
  };
  for (const auto& setup : setups) {
    SCOPED_TRACE(setup);
    Case c;
    c.write("ORTHAXIS.ST$", setup);
    c.write("d.txt", kTiny);
    c.write("SUCCES.ST$", "");
    expect_failure(c, c.run(), {"Attempt to read past end of file", "ORTHAXIS.ST$"});
  }
}

// ---------------------------------------------------------------------------
// Transposition into NEWDATA.st$

// Stored as 3 rows of 5 values: the run has 5 objects and 3 variables.
const std::string kStored =
    "stored by columns\n3 5\n1 4 2.5 8 5\n3 1 4 -1 5\n2 7 1 8 2\n";

void expect_transposed(const Case& c) {
  const auto records = c.lines("NEWDATA.st$");
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0], pad("stored by columns", 100));
  EXPECT_EQ(records[1][0], ' ');
  EXPECT_EQ(numbers(records[1]), (std::vector<double>{5, 3}));
  const std::vector<std::vector<double>> rows = {
      {1, 3, 2}, {4, 1, 7}, {2.5, 4, 1}, {8, -1, 8}, {5, 5, 2}};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(records[i + 2][0], ' ') << i;
    EXPECT_EQ(numbers(records[i + 2]), rows[i]) << i;
  }
  // Five objects reach the object-score file (its second record holds n and q).
  const auto scores = c.lines("obj.txt");
  ASSERT_GE(scores.size(), 2u);
  ASSERT_FALSE(numbers(scores[1]).empty());
  EXPECT_EQ(numbers(scores[1])[0], 5);
}

TEST(RunSpineTranspose, OrientationZeroWritesNewDataWhileTheBlockShowsTheSetupCounts) {
  for (int orientation : {0, 2, -1}) {
    SCOPED_TRACE(orientation);
    Case c;
    prepare(c, Values{}.set(kRows, 3).set(kCols, 5).set(kType, 2).set(kOrientation, orientation),
            kStored);
    Outcome o = c.run();
    ASSERT_EQ(o.status, 0) << o.err;
    expect_transposed(c);
    Block b;
    b.rows = 3;
    b.cols = 5;
    b.type = "PCA FROM COVARIANCES";
    const auto expected =
        concat({pca_heading("stored by columns"), block(b), basic_file_lines()});
    const std::string report = c.read("ORTHAXIS.ST$");
    EXPECT_EQ(report.substr(0, report_prefix(expected).size()), report_prefix(expected));
    EXPECT_TRUE(contains(report, "\n  VARIABLE   3"));
    EXPECT_FALSE(contains(report, "\n  VARIABLE   4"));
    // The warning comes between the banner and the block.
    const std::string warning =
        "\n\n  WARNING: COLS OF DATA MATRIX WILL BE ORDINATED\n\n";
    EXPECT_EQ(o.out.find(warning), console_prefix(kBanner).size() - 1);
  }
}

TEST(RunSpineTranspose, SmallerCountsInTheDataFileAreUsedAsRead) {
  Case c;
  prepare(c, Values{}.set(kRows, 4).set(kCols, 6).set(kType, 2).set(kOrientation, 0), kStored);
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  expect_transposed(c);
  const auto records = c.lines("ORTHAXIS.ST$");
  ASSERT_GT(records.size(), 11u);
  EXPECT_EQ(records[10], " NUMBER OF ROWS =                      4");
  EXPECT_EQ(records[11], " NUMBER OF COLS  =                     6");
}

TEST(RunSpineTranspose, LargerOrZeroCountsInTheDataFileAreAnInputError) {
  const char* counts[] = {"4 5", "3 6", "0 5", "3 0"};
  for (const char* count : counts) {
    SCOPED_TRACE(count);
    Case c;
    // Enough values for the largest count, so that only the count is wrong.
    prepare(c, Values{}.set(kRows, 3).set(kCols, 5).set(kOrientation, 0),
            std::string("stored\n") + count + "\n1 2 3 4 5 6\n6 5 4 3 2 1\n1 3 5 2 4 6\n" +
                "2 2 3 3 4 4\n");
    c.write("SUCCES.ST$", "");
    Outcome o = c.run();
    expect_failure(c, o, {"d.txt"});
  }
}

// ---------------------------------------------------------------------------
// Labels

TEST(RunSpineLabels, LabelsAreCutOrPaddedToEightCharacters) {
  Case c;
  prepare(c, Values{}.set(kObjectLabels, 1).set(kVariableLabels, 1));
  // Record 1 is read and not used; lines after the last label are ignored.
  c.write("ol.txt", "99\nABCDEFGHIJK\nXY\nabc\n12345678\nnot read\n");
  c.write("vl.txt", "0\nheightxyz\nw\n");
  ASSERT_EQ(c.run().status, 0);
  const std::string report = c.read("ORTHAXIS.ST$");
  // "(I4,1X,A8,1X,5F12.3...)" object lines and "(2X,'VARIABLE',I4,1X,A8/...)".
  EXPECT_TRUE(contains(report, "\n   1 ABCDEFGH "));
  EXPECT_FALSE(contains(report, "ABCDEFGHI"));
  EXPECT_TRUE(contains(report, "\n   2 XY       "));
  EXPECT_TRUE(contains(report, "\n   3 abc      "));
  EXPECT_TRUE(contains(report, "\n   4 12345678 "));
  EXPECT_FALSE(contains(report, "not read"));
  EXPECT_TRUE(contains(report, "\n  VARIABLE   1 heightxy\n"));
  EXPECT_TRUE(contains(report, "\n  VARIABLE   2 w       \n"));
}

TEST(RunSpineLabels, ALabelFileWithTooFewLabelsIsAnInputError) {
  Case c;
  prepare(c, Values{}.set(kObjectLabels, 1));
  c.write("ol.txt", "4\nO1\nO2\nO3\n");
  expect_failure(c, c.run(), {"Attempt to read past end of file", "ol.txt"});
}

// ---------------------------------------------------------------------------
// Missing input files

TEST(RunSpineMissing, MissingInputFilesFailToOpenAndAreNotCreated) {
  {
    SCOPED_TRACE("setup file");
    Case c;
    c.write("d.txt", kTiny);
    c.write("SUCCES.ST$", "");
    expect_failure(c, c.run(), {"OPEN", "ORTHAXIS.ST$"});
    EXPECT_FALSE(c.exists("ORTHAXIS.ST$"));
  }
  {
    SCOPED_TRACE("data file");
    Case c;
    c.setup(Values{}.line(), kNames);
    c.write("SUCCES.ST$", "");
    expect_failure(c, c.run(), {"OPEN", "d.txt"});
    EXPECT_FALSE(c.exists("d.txt"));
  }
  {
    SCOPED_TRACE("object labels");
    Case c;
    prepare(c, Values{}.set(kObjectLabels, 1));
    c.write("SUCCES.ST$", "");
    expect_failure(c, c.run(), {"OPEN", "ol.txt"});
    EXPECT_FALSE(c.exists("ol.txt"));
  }
  {
    SCOPED_TRACE("variable labels");
    Case c;
    prepare(c, Values{}.set(kVariableLabels, 1));
    c.write("SUCCES.ST$", "");
    expect_failure(c, c.run(), {"OPEN", "vl.txt"});
    EXPECT_FALSE(c.exists("vl.txt"));
  }
}

// ---------------------------------------------------------------------------
// Bad data

TEST(RunSpineData, ANonNumericValueFailsTheDataPassAndKeepsTheScratchFile) {
  Case c;
  prepare(c, Values{}, "bad\n4\n1 2\n2 1\n3 x5\n4 3\n");
  c.write("SUCCES.ST$", "");
  expect_failure(c, c.run(), {"Illegal character in numeric input", "d.txt"});
  EXPECT_TRUE(c.exists("T.TMP"));
}

TEST(RunSpineData, AShortDataFileFailsTheDataPassAndKeepsTheScratchFile) {
  Case c;
  prepare(c, Values{}, "short\n4\n1 2\n2 1\n3 5\n");
  c.write("SUCCES.ST$", "");
  expect_failure(c, c.run(), {"Attempt to read past end of file", "d.txt"});
  EXPECT_TRUE(c.exists("T.TMP"));
}

TEST(RunSpineData, WorkArraysTooLargeForTheMachineEndWithAnAllocationError) {
  Case c;
  prepare(c, Values{}.set(kRows, 2000000000).set(kCols, 2000000000), "huge\n1\n");
  c.write("SUCCES.ST$", "");
  Outcome o = c.run();
  expect_failure(c, o, {});
  EXPECT_FALSE(o.err.empty());
}

// ---------------------------------------------------------------------------
// Setup values out of range

TEST(RunSpineValidation, EachValueOutOfRangeIsRejectedBeforeTheSetupFileIsTouched) {
  struct Bad {
    Field field;
    int value;
    int type;
    const char* name;  // a word of the field's name in the message
  } cases[] = {
      {kRows, 0, 3, "rows"},
      {kRows, -3, 3, "rows"},
      {kCols, 0, 3, "columns"},
      {kCols, -1, 4, "columns"},
      {kType, 0, 0, "analysis type"},
      {kType, 5, 5, "analysis type"},
      {kMatrix, -1, 3, "matrix option"},
      {kMatrix, 3, 3, "matrix option"},
      {kComponents, -1, 3, "components"},
      {kVariableLabels, 2, 3, "variable-labels"},
      {kVariableLabels, -1, 4, "variable-labels"},
      {kScaling, 3, 4, "scaling"},
      {kScaling, -1, 4, "scaling"},
      {kVariableScores, 3, 2, "variable-score"},
      {kVariableScores, -1, 3, "variable-score"},
      {kObjectNorm, 2, 3, "object-score"},
      {kObjectNorm, -1, 2, "object-score"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(std::string(bad.name) + " = " + std::to_string(bad.value));
    Case c;
    Values v;
    v.set(kType, bad.type).set(kCols, bad.type == 4 ? 3 : 2).set(bad.field, bad.value);
    prepare(c, v, bad.type == 4 ? kCounts : kTiny);
    c.write("SUCCES.ST$", "");
    const std::string setup = c.read("ORTHAXIS.ST$");
    Outcome o = c.run();
    expect_failure(c, o, {bad.name});
    EXPECT_TRUE(has_number(o.err, std::to_string(bad.value))) << o.err;
    EXPECT_EQ(c.read("ORTHAXIS.ST$"), setup);
    EXPECT_FALSE(c.exists("var.txt"));
    EXPECT_FALSE(c.exists("T.TMP"));
  }
}

TEST(RunSpineValidation, OptionsThatATypeIgnoresOrThatTakeAnyIntegerAreAccepted) {
  struct Good {
    const char* what;
    Values v;
    const std::string& data;
  } cases[] = {
      {"type 1 ignores both score options",
       Values{}.set(kType, 1).set(kVariableScores, 7).set(kObjectNorm, -4), kTiny},
      {"type 4 ignores both score options",
       Values{}.set(kType, 4).set(kCols, 3).set(kVariableScores, 9).set(kObjectNorm, 5), kCounts},
      {"PCA ignores the CoA scaling", Values{}.set(kType, 2).set(kScaling, 7), kTiny},
      {"PCA ignores a negative CoA scaling", Values{}.set(kType, 1).set(kScaling, -1), kTiny},
      {"printout takes any integer", Values{}.set(kPrintout, -9), kTiny},
      {"orientation takes any integer",
       Values{}.set(kRows, 3).set(kCols, 5).set(kOrientation, 12345), kStored},
      {"no components retained", Values{}.set(kComponents, 0), kTiny},
  };
  for (const auto& g : cases) {
    SCOPED_TRACE(g.what);
    Case c;
    prepare(c, g.v, g.data);
    Outcome o = c.run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(c.exists("SUCCES.ST$"));
  }
}

TEST(RunSpineValidation, ScoreOptionsShownForTypeFourAreNotApplicable) {
  Case c;
  prepare(c, Values{}.set(kType, 4).set(kCols, 3).set(kVariableScores, 9).set(kObjectNorm, 5),
          kCounts);
  ASSERT_EQ(c.run().status, 0);
  const auto records = c.lines("ORTHAXIS.ST$");
  ASSERT_GT(records.size(), 22u);
  // Type 4's heading has two more records than a PCA heading.
  EXPECT_EQ(records[21], " VAR. SCORE OPTION =             " + pad("NOT APPLICABLE", 50));
  EXPECT_EQ(records[22], " OBJ. SCORE =                    " + pad("NOT APPLICABLE", 50));
  EXPECT_EQ(records[18], " CORRESP. ANALYSIS =             " +
                             pad("OBJECTS AT CENTROID OF VARIABLES", 50));
}

// ---------------------------------------------------------------------------
// No stale results

std::string junk() {
  std::string s;
  for (int i = 0; i < 4000; ++i) s += "STALE RESULT OF AN EARLIER RUN " + std::to_string(i) + "\n";
  return s;
}

TEST(RunSpineStale, OutputFilesHoldOnlyThisRunsContent) {
  // Transposed data and a written matrix file, so that every output file is used.
  const Values v =
      Values{}.set(kRows, 3).set(kCols, 5).set(kType, 2).set(kMatrix, 2).set(kOrientation, 0);
  const char* outputs[] = {"obj.txt",    "var.txt",    "mat.txt",
                           "EIGENV.ST$", "EIGENV.txt", "NEWDATA.st$"};
  Case clean, stale;
  prepare(clean, v, kStored);
  prepare(stale, v, kStored);
  for (const char* f : outputs) stale.write(f, junk());
  // Lines after the six names are not part of the setup, and the report
  // replaces them too.
  stale.write("ORTHAXIS.ST$", stale.read("ORTHAXIS.ST$") + junk());
  ASSERT_EQ(clean.run().status, 0);
  ASSERT_EQ(stale.run().status, 0);
  for (const char* f : outputs) {
    SCOPED_TRACE(f);
    ASSERT_TRUE(clean.exists(f));
    EXPECT_FALSE(contains(stale.read(f), "STALE"));
    EXPECT_EQ(stale.read(f), clean.read(f));
  }
  EXPECT_EQ(stale.read("ORTHAXIS.ST$"), clean.read("ORTHAXIS.ST$"));
}

TEST(RunSpineStale, MatrixOptionOneEmptiesAnOldMatrixFile) {
  Case c;
  prepare(c, Values{}.set(kMatrix, 1));
  c.write("mat.txt", junk());
  ASSERT_EQ(c.run().status, 0);
  EXPECT_EQ(c.read("mat.txt"), "");
}

}  // namespace
}  // namespace orthaxis::e2e
