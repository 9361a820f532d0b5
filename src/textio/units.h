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
// axes.csv (--axes-test with --csv).
inline constexpr int kAxesTable = 26;
// The record of the tables and pictures a person's run wrote: orthaxis.outputs.
inline constexpr int kOutputsManifest = 27;
// The supplementary elements: the files an import keeps beside the data
// (read back by the run), and the tables of --csv.
inline constexpr int kSupplementaryInput = 28;
inline constexpr int kSupplementaryTable = 29;
// The charts of --svg: correlation_circle.svg, contributions_K.svg, cos2_K.svg.
inline constexpr int kCorrelationCircle = 30;
inline constexpr int kContributionChart = 31;
inline constexpr int kQualityChart = 32;
// The page of --html: report.html.
inline constexpr int kReportPage = 33;

}  // namespace orthaxis::textio::units
