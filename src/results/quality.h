#pragma once
// Quality of representation: the squared cosine of the angle between a
// point (an object or a variable, as a vector from the centroid) and each
// retained axis. Summed over all axes with a positive eigenvalue it gives 1
// when no value is missing. Computed in double precision, for the tables
// only; the scratch file is read once and left rewound.

#include <cstdint>
#include <span>

#include "input/scratch_file.h"
#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "results/scores.h"

namespace orthaxis::results {

struct Quality {
  ScoreMatrix objects;    // n points, q axes
  ScoreMatrix variables;  // p points, q axes
};

// PCA types. Objects: the squared projection of the object's values (raw for
// the cross products, centred, or standardised for the correlations) on
// eigenvector k over their sum of squares, missing values left out.
// Variables: e(j,k)^2 lambda(k) over the diagonal element j of the
// resemblance matrix.
Quality pca_quality(const PcaModel& m, const Eigensystem& eigen,
                    std::span<const float> diagonal, std::int32_t q);

// The proportions of the row and column totals of a correspondence table.
struct Masses {
  std::span<const float> objects, variables;
};

// Correspondence analysis: the squared principal coordinate over the squared
// chi-square distance of the profile to the centroid profile. The masses are
// the proportions of the row and column totals. `eigen` holds the
// eigenvectors of the matrix of standardized residuals.
Quality coa_quality(input::ScratchFile& scratch, const Masses& masses, const Eigensystem& eigen,
                    std::int32_t q);

}  // namespace orthaxis::results
