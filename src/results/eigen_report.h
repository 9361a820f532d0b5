#pragma once
// The eigenvalue report: count and sum of the positive eigenvalues, the
// eigenvalues, their percentages, cumulative percentages and square roots,
// and the eigenvectors; the eigenvalue files EIGENV.ST$ and EIGENV.txt.

#include <cstdint>
#include <span>

#include "results/eigensystem.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::results {

inline constexpr const char* kEigenvalueFile = "EIGENV.ST$";
inline constexpr const char* kEigenvectorFile = "EIGENV.txt";

// Takes the eigenvalues off the diagonal of the diagonalised packed matrix
// `a` into `eigen` (whose eigenvectors are already in place) with the count
// and sum of the positive ones, prints the report, writes EIGENV.ST$, and
// opens `vector_file` on EIGENV.txt with the eigenvector listing (left open).
// `work` holds p values of scratch space.
void report_eigenvalues(textio::Printer& print, std::span<const float> a, Eigensystem& eigen,
                        std::span<float> work, textio::RecordFile& vector_file);

}  // namespace orthaxis::results
