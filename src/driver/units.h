#pragma once
// The unit number of each file of a run, fixed for the whole run. Messages
// about a file name its unit, so every place that opens one of these files
// takes its number from here.

namespace orthaxis::driver {

inline constexpr int kDataUnit = 1;            // the data file, or NEWDATA.st$ after a transposition
inline constexpr int kObjectLabelUnit = 2;     // the object-labels file
inline constexpr int kScratchUnit = 3;         // T.TMP
inline constexpr int kObjectScoreUnit = 4;     // the object-score file
inline constexpr int kVariableLabelUnit = 5;   // the variable-labels file
inline constexpr int kMatrixUnit = 7;          // the matrix file
inline constexpr int kSetupUnit = 9;           // ORTHAXIS.ST$: the setup file, then the report
inline constexpr int kVariableScoreUnit = 10;  // the variable-score file
inline constexpr int kEigenUnit = 14;          // EIGENV.ST$, then EIGENV.txt
inline constexpr int kSuccessUnit = 15;        // SUCCES.ST$
inline constexpr int kEigenvalueTableUnit = 21;  // eigenvalues.csv
inline constexpr int kObjectTableUnit = 22;      // objects.csv
inline constexpr int kVariableTableUnit = 23;    // variables.csv
inline constexpr int kBiplotUnit = 24;           // biplot.svg
inline constexpr int kScreeUnit = 25;            // scree.svg
inline constexpr int kAxesTableUnit = 26;        // axes.csv

}  // namespace orthaxis::driver
