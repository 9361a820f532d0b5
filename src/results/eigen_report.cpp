#include "results/eigen_report.h"

#include <cmath>

#include "analysis/packed.h"
#include "textio/free_format.h"
#include "textio/units.h"

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

void report_eigenvalues(textio::Printer& print, std::span<const float> a, Eigensystem& eigen,
                        std::span<float> work, textio::RecordFile& vector_file) {
  const std::size_t np = static_cast<std::size_t>(eigen.p);
  const std::span<float> eigenvalues(eigen.values);
  const std::span<const float> eigenvectors(eigen.vectors);
  eigen.positive_count = 0;
  eigen.positive_sum = 0.0f;
  for (std::size_t i = 1; i <= np; ++i) {
    const float value = a[analysis::packed_index(i, i)];
    eigenvalues[i - 1] = value;
    if (value > 0.0f) {
      eigen.positive_sum += value;
      ++eigen.positive_count;
    }
  }
  const std::size_t count = static_cast<std::size_t>(eigen.positive_count);
  const std::span<const float> listed(work.data(), count);
  for (std::size_t i = 0; i < count; ++i) work[i] = eigenvalues[i] * 100.0f / eigen.positive_sum;

  print.both(kPositiveSummary, {eigen.positive_count, eigen.positive_sum});
  print.both(kEigenvalues, {std::span<const float>(eigenvalues.data(), np)});
  print.both(kPercentages, {listed});

  textio::RecordFile values(textio::units::kEigen, kEigenvalueFile,
                            textio::RecordFile::Open::kReplace);
  values.write(textio::free_format_record({eigen.positive_count}));
  values.write(textio::free_format_record({listed}));
  values.close();

  for (std::size_t i = 1; i < count; ++i) work[i] = work[i] + work[i - 1];
  print.both(kCumulative, {listed});
  for (std::size_t i = 0; i < count; ++i) work[i] = std::sqrt(eigenvalues[i]);
  print.both(kSquareRoots, {listed});

  print.both(kEigenvectorHeading);
  vector_file = textio::RecordFile(textio::units::kEigen, kEigenvectorFile,
                                   textio::RecordFile::Open::kReplace);
  for (std::size_t j = 1; j <= count; ++j) {
    for (std::size_t i = 0; i < np; ++i) work[i] = eigenvectors[(j - 1) * np + i];
    const textio::Value list[] = {static_cast<std::int32_t>(j),
                                  std::span<const float>(work.data(), np)};
    print.console(kEigenvector, list);
    kEigenvector.write(list, [&vector_file](std::string_view r) { vector_file.write(r); });
  }
}

}  // namespace orthaxis::results
