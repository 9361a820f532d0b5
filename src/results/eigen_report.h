#pragma once
// The eigenvalue report: count and sum of the positive eigenvalues, the
// eigenvalues, their percentages, cumulative percentages and square roots,
// and the eigenvectors; the eigenvalue files EIGENV.ST$ and EIGENV.txt.

#include <cstdint>
#include <span>

#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::results {

inline constexpr int kEigenUnit = 14;
inline constexpr const char* kEigenvalueFile = "EIGENV.ST$";
inline constexpr const char* kEigenvectorFile = "EIGENV.txt";

struct PositiveEigenvalues {
  std::int32_t count = 0;
  float sum = 0.0f;
};

// Takes the eigenvalues off the diagonal of the diagonalised packed matrix
// `a` into `eigenvalues`, prints the report, writes EIGENV.ST$, and opens
// `vector_file` on EIGENV.txt with the eigenvector listing (left open).
// `work` holds p values of scratch space.
PositiveEigenvalues report_eigenvalues(textio::Printer& print, std::int32_t p,
                                       std::span<const float> a, std::span<float> eigenvalues,
                                       std::span<const float> eigenvectors, std::span<float> work,
                                       textio::RecordFile& vector_file);

}  // namespace orthaxis::results
