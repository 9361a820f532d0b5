#pragma once
// The run plan: every decision that the setup values and the options make,
// taken once before the run opens its files. The steps of the run ask the
// plan ("does this run read object labels?") and never look at a setup code
// or an option themselves.

#include <cstdint>
#include <string>

#include "analysis/analysis_type.h"
#include "driver/options.h"
#include "driver/setup.h"

namespace orthaxis::driver {

// What becomes of the matrix file named in the setup.
enum class MatrixFile {
  kNone,         // not opened
  kOpenedEmpty,  // created (or emptied) and named in the report, nothing written
  kWritten,      // receives the resemblance matrix
};

struct RunPlan {
  analysis::AnalysisType type = analysis::AnalysisType::kCorrelations;
  bool transpose = false;         // the columns of the data file are the objects
  bool object_labels = false;     // read from the object-labels file
  bool variable_labels = false;   // read from the variable-labels file
  MatrixFile matrix = MatrixFile::kNone;
  bool detailed = false;          // detailed printout
  std::int32_t components = 0;    // axes asked for (lowered later to the positive eigenvalues)
  std::int32_t coa_scaling = 0;   // 0, 1, 2 (correspondence analysis)
  std::int32_t variable_score_option = 0;  // 0 correlations, 1 covariances, 2 eigenvectors
  std::int32_t object_score_norm = 0;      // 0 to lambda, 1 to unity

  // A person's run: located messages, warnings and findings on standard
  // error. Without arguments every byte on every stream is the front end's.
  bool person = false;
  // A person's run on a terminal: a short summary instead of the console.
  bool summary = false;
  bool quiet = false;   // the console keeps the banner, warnings, abnormal ends, the stop line
  bool tables = false;  // eigenvalues.csv, objects.csv, variables.csv
  bool pictures = false;  // scree.svg, biplot.svg
  std::int32_t axes_test = 0;  // replicates of the axes test; 0 no test
  std::uint64_t seed = 0;      // their random numbers
  Engine engine = Engine::kJacobi;

  // The LAPACK engine works on the objects' side (the n x n matrix of the
  // transformed rows) when there are fewer objects than variables and, for a
  // PCA, no value is missing (pairwise deletion makes the matrix no Z^T Z);
  // otherwise on the packed p x p matrix. Correspondence analysis has no
  // missing values. The objects' side of a correspondence analysis needs no
  // p x p array at all; that of a PCA still gathers the pair sums.
  bool lapack() const { return engine == Engine::kLapack; }
  bool objects_side(std::int32_t n, std::int32_t p, bool missing) const {
    return lapack() && n < p && !missing;
  }
  bool without_square_storage(std::int32_t n, std::int32_t p) const {
    return correspondence() && objects_side(n, p, false);
  }
  std::string groups;     // the qualitative variable that colours the biplot; empty: the first
  bool page = false;      // report.html
  svg::LabelChoice labels;              // which points the biplot labels
  std::int32_t plane1 = 0, plane2 = 1;  // the biplot's axes, 0-based

  bool correspondence() const { return type == analysis::AnalysisType::kCorrespondence; }
  // The tables and pictures show the labels whole and the quality of each point.
  bool whole_labels() const { return tables || pictures || page; }
  // A PCA from covariances or correlations with both axes of the plane retained.
  bool correlation_circle(std::int32_t retained) const {
    return pictures && analysis::centred(type) && plane1 < retained && plane2 < retained;
  }
  bool quality() const { return tables || pictures || page; }
  // The quality of the PCA points needs the diagonal of the resemblance matrix.
  bool keeps_diagonal() const { return quality() && !correspondence(); }
};

// A person's run with standard output on a terminal shows the summary,
// unless --verbose, --quiet or --check asks otherwise.
inline bool shows_summary(const Options& o) {
  return o.for_person && o.terminal && !o.verbose && !o.quiet && !o.check;
}

// `values` have passed validate(); the score options follow the type rules.
RunPlan plan_run(const RunValues& values, const Options& options);

}  // namespace orthaxis::driver
