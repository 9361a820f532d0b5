#pragma once
// Packed symmetric matrices: the lower triangle row by row, element (r, c)
// with c <= r (1-based) at 1-based position r(r-1)/2 + c.

#include <cstddef>
#include <cstdint>

namespace orthaxis::analysis {

// 0-based index of element (r, c), 1-based r >= c.
constexpr std::size_t packed_index(std::size_t r, std::size_t c) {
  return r * (r - 1) / 2 + c - 1;
}
// 0-based index of element (i, j) in either order.
constexpr std::size_t symmetric_index(std::size_t i, std::size_t j) {
  return i >= j ? packed_index(i, j) : packed_index(j, i);
}
constexpr std::size_t packed_length(std::size_t p) { return p * (p + 1) / 2; }

}  // namespace orthaxis::analysis
