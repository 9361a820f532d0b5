#pragma once
// Standard error for a person at the command line: warnings with the
// program's prefix, and one progress line that is overwritten in place and
// cleared before anything else is written. The front end's run gets the
// silent channel: nothing is written, nothing is measured.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace orthaxis::textio {

class Messages {
 public:
  // Silent.
  Messages() = default;
  // Warnings when `warnings`; the progress line only when `progress`.
  Messages(std::FILE* out, bool warnings, bool progress)
      : out_(out), warnings_(warnings), progress_(progress) {}
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;
  ~Messages() { clear_progress(); }

  bool warnings() const { return warnings_; }
  // "ORTHAXIS: warning: " + text, one line.
  void warning(std::string_view text);
  std::int64_t warnings_given() const { return given_; }
  // A finding for the person, as it is, one line (when warnings are given).
  void line(std::string_view text);

  bool progress() const { return progress_; }
  // Starts timing a step (for rates and for the pace of updates).
  void start_step();
  // Seconds since start_step().
  double seconds() const;
  // True at most a few times a second; callers ask every few thousand items.
  bool update_due();
  // Replaces the progress line.
  void show(std::string_view text);
  void clear_progress();

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* out_ = nullptr;
  bool warnings_ = false;
  bool progress_ = false;
  std::int64_t given_ = 0;
  std::size_t shown_ = 0;  // width of the progress line on screen
  Clock::time_point step_start_{};
  Clock::time_point last_update_{};
};

// Whether a stream is a terminal (progress is drawn only on one).
bool is_terminal(std::FILE* stream);

}  // namespace orthaxis::textio
