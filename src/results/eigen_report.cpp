#include "results/eigen_report.h"

#include <cmath>
#include <vector>

#include "textio/free_format.h"

namespace orthaxis::results {

namespace {
const textio::Format kPositiveSummary{
    "(///3X,'NUMBER OF POSITIVE EIGENVALUES =',I6//3X,  'SUM OF POSITIVE EIGENVALUES =',E21.8/)"};
const textio::Format kEigenvalues{"(3X,'EIGENVALUES'/(5E12.4))"};
const textio::Format kPercentages{"(/3X,'EIGENVALUES AS PERCENT'/(5F12.2))"};
const textio::Format kCumulative{"(/3X,'CUMULATIVE PERCENTAGE OF EIGENVALUES'/(5F12.2))"};
const textio::Format kSquareRoots{"(/3X,'SQUARE ROOTS OF EIGENVALUES'/(5F12.6))"};
const textio::Format kEigenvectorHeading{"(///3X,'EIGENVECTORS (DIRECTION COSINES)'//)"};
const textio::Format kEigenvector{"(2X,'VECTOR',I4/(5F12.5))"};
}  // namespace

void print_eigenvalues(textio::Printer& print, const Eigensystem& eigen) {
  const std::vector<float> percent = eigen.percentages();
  print.both(kPositiveSummary, {eigen.positive_count, eigen.positive_sum});
  print.both(kEigenvalues, {std::span<const float>(eigen.values)});
  print.both(kPercentages, {std::span<const float>(percent)});
}

void write_eigenvalue_file(textio::RecordFile& file, const Eigensystem& eigen) {
  const std::vector<float> percent = eigen.percentages();
  file.write(textio::free_format_record({eigen.positive_count}));
  file.write(textio::free_format_record({std::span<const float>(percent)}));
}

void print_eigenvalue_sums(textio::Printer& print, const Eigensystem& eigen) {
  print.both(kCumulative, {std::span<const float>(eigen.cumulative_percentages())});
  std::vector<float> roots(static_cast<std::size_t>(eigen.positive_count));
  for (std::size_t i = 0; i < roots.size(); ++i) roots[i] = std::sqrt(eigen.values[i]);
  print.both(kSquareRoots, {std::span<const float>(roots)});
  print.both(kEigenvectorHeading);
}

void list_eigenvectors(textio::Printer& print, const Eigensystem& eigen,
                       textio::RecordFile& vector_file) {
  const std::size_t np = static_cast<std::size_t>(eigen.p);
  const std::size_t count = static_cast<std::size_t>(eigen.positive_count);
  for (std::size_t j = 1; j <= count; ++j) {
    const textio::Value list[] = {static_cast<std::int32_t>(j),
                                  std::span<const float>(eigen.vectors).subspan((j - 1) * np, np)};
    print.console(kEigenvector, list);
    kEigenvector.write(list, [&vector_file](std::string_view r) { vector_file.write(r); });
  }
}

}  // namespace orthaxis::results
