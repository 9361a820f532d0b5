#include "driver/eigen_engines.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "analysis/lapack_engine.h"
#include "coa/correspondence_analysis.h"

namespace orthaxis::driver {

namespace {

// PCA on the objects' side: each object's row as the analysis type
// transforms it, scaled so that Z^T Z is the resemblance matrix that the
// statistics define (cross products; covariances over n - 1; correlations
// over n - 1 and both standard deviations).
analysis::UnsetVector<double> transformed_rows(const RunContext& run, RunFiles& files,
                                               const DataShape& shape, const Resemblance& r) {
  const std::size_t n = static_cast<std::size_t>(shape.n);
  const std::size_t p = static_cast<std::size_t>(shape.p);
  analysis::UnsetVector<double> zt(n * p);
  std::vector<float> x(p);
  std::vector<double> shift(p, 0.0), scale(p, 1.0);
  if (run.plan.type != analysis::AnalysisType::kCrossProducts) {
    const double root = std::sqrt(static_cast<double>(n) - 1.0);
    const bool standardise = run.plan.type == analysis::AnalysisType::kCorrelations;
    for (std::size_t j = 0; j < p; ++j) {
      shift[j] = r.mean[j];
      scale[j] = 1.0 / (root * (standardise ? static_cast<double>(r.sd[j]) : 1.0));
    }
  }
  input::ScratchFile& scratch = *files.scratch;
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    for (std::size_t j = 0; j < p; ++j)
      zt[i * p + j] = (static_cast<double>(x[j]) - shift[j]) * scale[j];
  }
  scratch.rewind();
  return zt;
}

bool has_missing(const DataShape& shape, const Resemblance& r) {
  const float n = static_cast<float>(shape.n);
  return std::any_of(r.count.begin(), r.count.end(), [n](float c) { return c != n; });
}

// Measured seconds per p^3 of the Jacobi method on one thread and on two or
// more (whole runs with p = 1200 and 2500, less the LAPACK engine's run).
constexpr double kJacobiOneThread = 1.5e-9;
constexpr double kJacobiThreads = 1.0e-9;
constexpr double kSlowSeconds = 5.0;

}  // namespace

Eigenanalysis lapack_eigenanalysis(const RunContext& run, RunFiles& files,
                                   const DataShape& shape, Resemblance& r) {
  const bool missing = !run.plan.correspondence() && has_missing(shape, r);
  analysis::LapackEigen e;
  if (run.plan.objects_side(shape.n, shape.p, missing)) {
    analysis::UnsetVector<double> zt;
    if (run.plan.correspondence()) {
      zt.resize(static_cast<std::size_t>(shape.n) * static_cast<std::size_t>(shape.p));
      if (!coa::residual_rows(r.table, *files.scratch, zt))
        throw std::runtime_error("the standardized residuals are not all finite numbers");
    } else {
      zt = transformed_rows(run, files, shape, r);
    }
    e = analysis::lapack_rows(shape.n, shape.p, zt, &run.pool);
  } else {
    e = analysis::lapack_packed(shape.p, r.matrix);
  }
  Eigenanalysis a;
  a.eigen = results::Eigensystem::from_values(std::move(e.values), std::move(e.vectors));
  a.storage = std::move(r.matrix);
  return a;
}

double predicted_jacobi_seconds(std::int32_t p32, std::size_t threads) {
  const double p = static_cast<double>(p32);
  return p * p * p * (threads > 1 ? kJacobiThreads : kJacobiOneThread);
}

void note_slow_jacobi(const RunContext& run, std::int32_t p) {
  if (!run.plan.person || run.plan.lapack()) return;
  const double seconds = predicted_jacobi_seconds(p, run.pool.size());
  if (seconds <= kSlowSeconds) return;
  run.messages.warning("the eigenanalysis of " + std::to_string(p) + " variables will take about " +
                       std::to_string(static_cast<long long>(std::lround(seconds))) +
                       " s; --engine lapack is much faster");
}

}  // namespace orthaxis::driver
