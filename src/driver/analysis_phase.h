#pragma once
// The middle of a run, from the data pass's sums to the scores: the
// resemblance matrix (or the correspondence matrix), the eigenanalysis and
// its report, and the scores of the objects and variables with their
// listings, files and plots. Each step returns a finished value.

#include <cstdint>
#include <string>
#include <vector>

#include "coa/correspondence_analysis.h"
#include "driver/data_phase.h"
#include "driver/run_context.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "results/scores.h"

namespace orthaxis::driver {

// The labels that the run read: 8-character labels for the listings, and
// the whole lines for the tables and pictures.
struct RunLabels {
  std::vector<std::string> objects, variables;
  std::vector<std::string> object_lines, variable_lines;  // only for the tables and pictures
};

// The matrix to analyse, packed, and what its analysis reads beside it.
struct Resemblance {
  analysis::WorkArray matrix;          // packed; the eigenanalysis diagonalises it in place
  analysis::WorkArray vectors;         // p x p storage for the eigenvectors
  PairStorage pairs;                   // PCA: the sums over the objects behind each element
  analysis::WorkArray mean, sd, count;  // PCA: per variable
  analysis::WorkArray object_ssq;      // PCA: per object
  std::vector<float> diagonal;         // PCA with tables: the matrix's diagonal
  coa::Table table;                    // correspondence analysis: totals as proportions
  analysis::WorkArray row_total, column_total;  // the table's storage
};

// PCA: statistics, zero-variance check and the resemblance matrix (printed
// with the detailed printout, written to the matrix file when planned).
// Throws AnalysisStop when the analysis cannot go on.
Resemblance resemblance_matrix(const RunContext& run, RunFiles& files, const DataShape& shape,
                               DataSummary d, const RunLabels& labels);
// Correspondence analysis, phase 1: the matrix of standardized residuals.
Resemblance correspondence_matrix(const RunContext& run, RunFiles& files,
                                  const DataShape& shape, DataSummary d);

// The eigenanalysis of the matrix and the eigenvalue report with its files.
struct Eigenanalysis {
  results::Eigensystem eigen;
  std::int32_t q = 0;          // axes retained: lowered to the positive eigenvalues
  analysis::WorkArray storage;  // the diagonalised matrix's storage, for the object scores
};
Eigenanalysis eigenanalysis(const RunContext& run, RunFiles& files, const DataShape& shape,
                            Resemblance& r);

// The scores on the retained axes.
struct Scores {
  results::ScoreMatrix objects, variables;
};
Scores principal_component_scores(const RunContext& run, RunFiles& files, const DataShape& shape,
                                  const Resemblance& r, Eigenanalysis& e,
                                  const RunLabels& labels);
Scores correspondence_scores(const RunContext& run, RunFiles& files, const Resemblance& r,
                             Eigenanalysis& e, const RunLabels& labels);

// The PCA model that the scores and their quality read.
results::PcaModel pca_model(const RunContext& run, RunFiles& files, const Resemblance& r);

}  // namespace orthaxis::driver
