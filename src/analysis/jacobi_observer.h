#pragma once
// What the eigenanalysis tells about its progress while it goes on. It
// writes nothing itself: the caller decides what to show.

#include <cstdint>

#include "analysis/threshold_schedule.h"

namespace orthaxis::analysis {

struct JacobiObserver {
  virtual ~JacobiObserver() = default;
  // Once, before the first threshold step; not called when the matrix has
  // nothing to rotate (no off-diagonal sum of squares above zero).
  virtual void started(const ThresholdSchedule& /*schedule*/) {}
  // At the start of each threshold step, `step` counted from 1.
  virtual void threshold_step(std::int64_t /*step*/, float /*threshold*/) {}
};

}  // namespace orthaxis::analysis
