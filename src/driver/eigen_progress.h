#pragma once
// What the run shows of the eigenanalysis while it goes on: on the console
// the threshold line once and one "+CURRENT V.=" record per threshold step,
// and, for a person who asked for progress, "eigenanalysis: threshold step
// k of n" on the progress line.

#include <cstdint>

#include "analysis/jacobi_observer.h"
#include "analysis/threshold_schedule.h"
#include "textio/console.h"
#include "textio/messages.h"

namespace orthaxis::driver {

class EigenProgress final : public analysis::JacobiObserver {
 public:
  // `person`: where the progress line goes, or nullptr for none.
  explicit EigenProgress(textio::Console& console, textio::Messages* person = nullptr)
      : console_(console), person_(person) {}

  void started(const analysis::ThresholdSchedule& schedule) override;
  void threshold_step(std::int64_t step, float threshold) override;

 private:
  textio::Console& console_;
  textio::Messages* person_;
  analysis::ThresholdSchedule schedule_;
};

}  // namespace orthaxis::driver
