#pragma once
// The eigen engine that hands the eigenanalysis to the system's LAPACK
// (double precision), loaded at run time: the program links no LAPACK and a
// run that does not ask for this engine never loads it.
//
// Two sides of the same problem:
// - the variables' side: the packed p x p matrix (single precision) is
//   widened to double and diagonalised whole (all p eigenpairs);
// - the objects' side: when the matrix is Z^T Z for an n x p matrix Z with
//   n < p, the n x n matrix Z Z^T has the same non-zero eigenvalues, and a
//   variable eigenvector follows from an object one as v = Z^T u / sqrt(lambda).
//   Only the vectors of the positive eigenvalues are formed; the eigenvalues
//   beyond the rank are reported as 0.
//
// Results are bit for bit the same for every thread count: the library runs
// on one thread of its own, and the products that the pool shares are cut
// into tiles whose bounds depend on the sizes only, each tile one library call.
//
// Every eigenvector's sign is set so that its coordinate of largest
// magnitude (the first such, on a tie) is positive.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/work_array.h"
#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

inline constexpr const char* kLapackLibrary = "liblapack.so.3";

// The library cannot be loaded or lacks a routine: one line for standard error.
class LapackUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads the library once (later calls return at once) and sets it to one
// thread. Throws LapackUnavailable.
void load_lapack();
// Whether load_lapack() succeeds (for tests that need the library).
bool lapack_loadable();

// Eigenvalues in non-increasing order and their vectors, p values each,
// column by column (vectors.size() / p columns).
struct LapackEigen {
  std::vector<float> values;   // p
  WorkArray vectors;           // p x columns
};

// The variables' side: a, the packed lower triangle of a p x p matrix
// (element (r, c), c <= r, 1-based, at r*(r-1)/2 + c - 1). All p vectors.
LapackEigen lapack_packed(std::int32_t p, std::span<const float> a);

// The objects' side: zt holds Z column by column as p x n (object i's
// transformed row at zt[i*p .. i*p + p)), n < p. Vectors of the positive
// eigenvalues only. `pool`: threads that share the products.
LapackEigen lapack_rows(std::int32_t n, std::int32_t p, std::span<const double> zt,
                        WorkerPool* pool);

// Bytes these hold at one time beyond their result, for the memory check.
std::size_t lapack_packed_bytes(std::int32_t p);
std::size_t lapack_rows_bytes(std::int32_t n, std::int32_t p);

// Sets the sign of each of the `columns` vectors of length p (column by
// column) so that its coordinate of largest magnitude is positive.
void orient_vectors(std::size_t p, std::size_t columns, std::span<float> vectors);

}  // namespace orthaxis::analysis
