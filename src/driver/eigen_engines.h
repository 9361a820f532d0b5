#pragma once
// The eigen engines of a run. eigenanalysis() asks the plan which one
// diagonalises the matrix: the program's own Jacobi method (analysis/jacobi.h)
// or the system's LAPACK (analysis/lapack_engine.h). Both fill the same
// Eigensystem, from which every report, file, table and picture is written.

#include <cstdint>

#include "driver/analysis_phase.h"

namespace orthaxis::driver {

// The LAPACK engine's eigensystem of the run's matrix (packed p x p), or of
// the transformed rows on the objects' side; `storage` is the storage the
// object scores take over.
Eigenanalysis lapack_eigenanalysis(const RunContext& run, RunFiles& files,
                                   const DataShape& shape, Resemblance& r);

// Seconds that the Jacobi method is predicted to take for p variables with
// `threads` threads (from p^3 and a constant measured on this program).
double predicted_jacobi_seconds(std::int32_t p, std::size_t threads);

// A person's run with the Jacobi engine that is predicted to take more than
// a few seconds is told so, with the option that goes faster.
void note_slow_jacobi(const RunContext& run, std::int32_t p);

}  // namespace orthaxis::driver
