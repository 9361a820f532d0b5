#pragma once
// Objects scored kGroup at a time, one per vector lane: the group's rows are
// laid out value by value (x(j, k) at x[j * kGroup + k]), so that each step is
// one vector operation over the group while every object still gets its own
// operations in its own order.

#include <cstddef>
#include <functional>

#include "analysis/analysis_type.h"
#include "analysis/worker_pool.h"
#include "input/scratch_file.h"

namespace orthaxis::results {

inline constexpr std::size_t kGroup = 8;

// Lays out `lanes` rows (1 .. kGroup; row k at rows + k * p) value by value
// into x (p * kGroup values); the lanes past `lanes` repeat the last row.
void interleave_group(const float* rows, std::size_t lanes, std::size_t p, float* x);

// Centres (and scales) a group's values in place as the analysis type asks
// and adds each object's centred squares to ssq: an absent value (negative)
// becomes analysis::kGroupAbsent and adds nothing.
void centre_group(analysis::AnalysisType type, std::size_t p, const float* mean, const float* sd,
                  float* x, float* ssq);

// How a score's term x * e is divided.
enum class Divide { kNot, kTwice, kOnce };

// A group's scores on one component: the terms x(j) * e(j), divided as asked
// (by `first` and then by divisor[j], or by divisor[j]), added in variable
// order from 0, values equal to analysis::kGroupAbsent left out.
void sum_group(Divide divide, std::size_t p, const float* x, const float* e, float first,
               const float* divisor, float* score);

// A pass over the scratch file's n rows of p values, a block of objects at a
// time. For each block, `score` is called for consecutive objects in whole
// groups (on the pool's threads, while the caller reads the next block),
// then `list` once on the caller's thread, in object order. Both receive the
// rows of their objects and the objects' `slot` among the 2 * block_rows(p)
// slots of the two blocks in use, for whatever they keep per object from one
// to the other. A read that fails is raised once the objects before it are
// listed. Without a pool of several threads a block is one group.
struct ObjectRun {
  float* rows;        // row k at rows + k * p
  std::size_t first;  // the first object (0-based)
  std::size_t count;
  std::size_t slot;   // the first object's slot
};
using ObjectStep = std::function<void(const ObjectRun&)>;
std::size_t block_rows(std::size_t p);
void score_in_blocks(input::ScratchFile& scratch, std::size_t n, std::size_t p,
                     analysis::WorkerPool* pool, const ObjectStep& score, const ObjectStep& list);

}  // namespace orthaxis::results
