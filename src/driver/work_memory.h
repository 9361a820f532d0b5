#pragma once
// What a run will hold, against what the process can have: checked before
// any large array is allocated, by the run and by --check alike.

#include <cstddef>
#include <cstdint>

#include "driver/plan.h"

namespace orthaxis::driver {

// Which eigen engine the storage is for, and on which side it works.
enum class WorkSide {
  kJacobi,       // the packed matrix, the pair sums and the p x p eigenvectors
  kLapack,       // a PCA: the same without the eigenvectors, which the engine makes
  kLapackTable,  // a correspondence analysis on the objects' side: no p x p array
};

// The storage the plan's eigen engine needs for n objects and p variables.
inline WorkSide work_side(const RunPlan& plan, std::int32_t n, std::int32_t p) {
  if (!plan.lapack()) return WorkSide::kJacobi;
  return plan.without_square_storage(n, p) ? WorkSide::kLapackTable : WorkSide::kLapack;
}

// The bytes of everything large that the run holds at one time: the work
// arrays, the labels and the eigenanalysis' own copies.
std::size_t work_bytes(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count,
                       WorkSide side = WorkSide::kJacobi);

// What the process can have: physical memory and swap, or the address-space
// limit when one is set and lower.
struct MemoryLimit {
  std::size_t bytes = static_cast<std::size_t>(-1);
  const char* what = "memory";
};
MemoryLimit memory_limit();

// An AllocationError naming what the run needs and what is available when
// the run cannot fit.
void check_work_memory(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count,
                       WorkSide side = WorkSide::kJacobi);

}  // namespace orthaxis::driver
