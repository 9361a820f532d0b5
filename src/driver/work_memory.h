#pragma once
// What a run will hold, against what the process can have: checked before
// any large array is allocated, by the run and by --check alike.

#include <cstddef>
#include <cstdint>

namespace orthaxis::driver {

// The bytes of everything large that the run holds at one time: the work
// arrays, the labels and the eigenanalysis' own copies.
std::size_t work_bytes(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count);

// What the process can have: physical memory and swap, or the address-space
// limit when one is set and lower.
struct MemoryLimit {
  std::size_t bytes = static_cast<std::size_t>(-1);
  const char* what = "memory";
};
MemoryLimit memory_limit();

// An AllocationError naming what the run needs and what is available when
// the run cannot fit.
void check_work_memory(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count);

}  // namespace orthaxis::driver
