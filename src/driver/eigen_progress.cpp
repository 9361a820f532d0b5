#include "driver/eigen_progress.h"

#include <string>
#include <string_view>

#include "textio/format.h"
#include "textio/value.h"

namespace orthaxis::driver {

namespace {

const textio::Format kThresholdLine{"(/' EIGENANALYSIS UNDERWAY'//' THRESHOLD =',F25.15/)"};
const textio::Format kCurrentLine{"(1H+,'CURRENT V.=',F25.15)"};

void print(const textio::Format& format, float value, textio::Console& console) {
  const textio::Value values[] = {value};
  format.write(values, [&console](std::string_view record) { console.write(record); });
}

}  // namespace

void EigenProgress::started(const analysis::ThresholdSchedule& schedule) {
  schedule_ = schedule;
  print(kThresholdLine, schedule.final_threshold, console_);
}

void EigenProgress::threshold_step(std::int64_t step, float threshold) {
  print(kCurrentLine, threshold, console_);
  if (person_ == nullptr || (step > 1 && !person_->update_due())) return;
  const std::int64_t total = step + schedule_.steps_left(threshold);
  person_->show("eigenanalysis: threshold step " + std::to_string(step) + " of " +
                std::to_string(total));
}

}  // namespace orthaxis::driver
