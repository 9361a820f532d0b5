#pragma once
// The eigenvalue report: count and sum of the positive eigenvalues, the
// eigenvalues, their percentages, cumulative percentages and square roots,
// and the eigenvectors; the eigenvalue files EIGENV.ST$ and EIGENV.txt. The
// run opens the files; the report is printed in the order
//   print_eigenvalues, write_eigenvalue_file (EIGENV.ST$),
//   print_eigenvalue_sums, list_eigenvectors (EIGENV.txt).

#include "results/eigensystem.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::results {

inline constexpr const char* kEigenvalueFile = "EIGENV.ST$";
inline constexpr const char* kEigenvectorFile = "EIGENV.txt";

// Count and sum of the positive eigenvalues, every eigenvalue, the percentages.
void print_eigenvalues(textio::Printer& print, const Eigensystem& eigen);
// EIGENV.ST$: the count of positive eigenvalues and their percentages.
void write_eigenvalue_file(textio::RecordFile& file, const Eigensystem& eigen);
// Cumulative percentages, square roots and the eigenvector heading.
void print_eigenvalue_sums(textio::Printer& print, const Eigensystem& eigen);
// The eigenvectors of the positive eigenvalues, on the console and into
// EIGENV.txt (left open).
void list_eigenvectors(textio::Printer& print, const Eigensystem& eigen,
                       textio::RecordFile& vector_file);

}  // namespace orthaxis::results
