#pragma once
// The vector kernels of the blocked Jacobi iteration, one table per
// instruction set: portable first, then AVX2 and AVX-512 on x86-64. Each
// level lives in a file of its own compiled for its instruction set
// (jacobi_kernels.cpp, jacobi_kernels_avx2.cpp, jacobi_kernels_avx512.cpp);
// jacobi_kernels() picks one table once, from what the processor supports.
// Every level performs the same single-precision operations on each element
// in the same order, so every level gives the same bits.
//
// This header is read by files compiled for wider instruction sets than the
// rest of the program: it declares data and functions only, no inline code,
// so that no copy of a function built for those instructions can stand in
// for the program's own.

#include <cstddef>
#include <cstdint>

#include "textio/processor.h"

namespace orthaxis::analysis {

namespace detail {
enum class Kernels;  // jacobi.h
}

// Rotation of the eigenvector columns l and m, recorded for later.
struct ColumnRotation {
  std::uint32_t l, m;
  float c, s;
};

// The pivots m of a pass are taken in blocks of kBlock consecutive columns.
inline constexpr std::size_t kBlock = 16;

// The rotations of one block of m in the pass of pivot l.
struct RotationBlock {
  std::size_t base = 0;  // first of the block's kBlock columns
  std::size_t count = 0;
  std::size_t m[kBlock];
  std::size_t q[kBlock];  // m - base
  float c[kBlock];
  float s[kBlock];
};

// Room after column l for whole vectors of rows (the AVX-512 kernel takes
// the rows above in bands of 64).
#if defined(ORTHAXIS_AVX2_KERNELS)
inline constexpr std::size_t kColumnPad = 64;
#else
inline constexpr std::size_t kColumnPad = 0;
#endif

// The triangle `mat` holds row r at mat + r * ld, elements (r, 0 .. r);
// `col` is column l of the pass, element (i, l) at col[i].
struct JacobiKernels {
  // Rows r0 .. r1-1 of the eigenvectors (column j at e + j * n) take the
  // rotations rot[0 .. count-1] in order.
  void (*rotate_eigenvector_rows)(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                                  const ColumnRotation* rot, std::size_t count);
  // Rows from .. to-1 below the block: its rotations in order on (i, l) and
  // (i, m), the elements (i, m) of the block adjacent in row i.
  void (*rotate_rows_below)(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                            std::size_t from, std::size_t to);
  // The rows i < m of the block's rotations in order: (i, l) of col against
  // (m, i) of row m. The pair at i = l is computed too; the caller restores
  // (l, l).
  void (*rotate_rows_above)(float* mat, std::size_t ld, float* col, const RotationBlock& b);
  // The same for lo <= i < hi only.
  void (*rotate_above_range)(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                             std::size_t lo, std::size_t hi);
};

// The widest table allowed by `widest` that the processor supports.
const JacobiKernels& jacobi_kernels(detail::Kernels widest);

// The kernels of each level, gathered into tables by jacobi_kernels.cpp.
namespace portable_kernels {
void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count);
void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to);
void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b);
void rotate_above_range(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                        std::size_t lo, std::size_t hi);
}  // namespace portable_kernels

#if defined(ORTHAXIS_AVX2_KERNELS)
namespace avx2_kernels {
void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count);
void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to);
void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b);
void rotate_above_range(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                        std::size_t lo, std::size_t hi);
}  // namespace avx2_kernels

// The rows above a range (the partners' share) go by runs of pairs, for
// which the AVX2 kernels are as fast.
namespace avx512_kernels {
void rotate_eigenvector_rows(float* e, std::size_t n, std::size_t r0, std::size_t r1,
                             const ColumnRotation* rot, std::size_t count);
void rotate_rows_below(float* mat, std::size_t ld, float* col, const RotationBlock& b,
                       std::size_t from, std::size_t to);
void rotate_rows_above(float* mat, std::size_t ld, float* col, const RotationBlock& b);
}  // namespace avx512_kernels
#endif

}  // namespace orthaxis::analysis
