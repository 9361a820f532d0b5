#pragma once
// The unit number of every file the program opens. A unit names its file in
// every input/output failure ("READ error on unit 1, file ..."), which the
// front end reads, so a file keeps its unit from one version to the next.

namespace orthaxis::textio::units {

// The data file as the setup names it; after a transposition, NEWDATA.st$.
inline constexpr int kData = 1;
// The object-labels file.
inline constexpr int kObjectLabels = 2;
// The scratch file T.TMP, one binary record per object.
inline constexpr int kScratch = 3;
// The object-score file.
inline constexpr int kObjectScores = 4;
// The variable-labels file.
inline constexpr int kVariableLabels = 5;
// The matrix file (matrix option 2).
inline constexpr int kMatrix = 7;
// The setup file ORTHAXIS.ST$, read and then rewritten as the report; the
// import writes it on this unit too.
inline constexpr int kSetup = 9;
// The variable-score file.
inline constexpr int kVariableScores = 10;
// EIGENV.ST$, and after it EIGENV.txt.
inline constexpr int kEigen = 14;
// The marker SUCCES.ST$.
inline constexpr int kSuccess = 15;
// The table that --import reads.
inline constexpr int kImportTable = 20;
// The tables of --csv: eigenvalues.csv, objects.csv, variables.csv.
inline constexpr int kEigenvalueTable = 21;
inline constexpr int kObjectTable = 22;
inline constexpr int kVariableTable = 23;
// The pictures of --svg: biplot.svg, scree.svg.
inline constexpr int kBiplot = 24;
inline constexpr int kScree = 25;
// The charts of --svg: correlation_circle.svg, contributions_K.svg, cos2_K.svg.
inline constexpr int kCorrelationCircle = 26;
inline constexpr int kContributionChart = 27;
inline constexpr int kQualityChart = 28;
// The page of --html: report.html.
inline constexpr int kReportPage = 29;

}  // namespace orthaxis::textio::units
