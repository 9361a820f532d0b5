#include "textio/messages.h"

#include "textio/quote.h"

#include <unistd.h>

namespace orthaxis::textio {

namespace {
constexpr auto kUpdateEvery = std::chrono::milliseconds(250);
}  // namespace

// Failures to write standard error are ignored on purpose: these lines are a
// courtesy to the person watching and must never change the run.

void Messages::warning(std::string_view text) {
  if (!warnings_) return;
  ++given_;
  clear_progress();
  std::string line = "ORTHAXIS: warning: ";
  line += escape_controls(text);  // names from the data stay on one line
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void Messages::line(std::string_view text) {
  if (!warnings_) return;
  clear_progress();
  std::string out(text);
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void Messages::start_step() {
  if (!progress_) return;
  step_start_ = Clock::now();
  last_update_ = step_start_;
}

double Messages::seconds() const {
  return std::chrono::duration<double>(Clock::now() - step_start_).count();
}

bool Messages::update_due() {
  if (!progress_) return false;
  const auto now = Clock::now();
  if (now - last_update_ < kUpdateEvery) return false;
  last_update_ = now;
  return true;
}

void Messages::show(std::string_view text) {
  if (!progress_) return;
  std::string line = "\r";
  line += text;
  // Blanks over what is left of a longer earlier line.
  if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
  shown_ = text.size();
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void Messages::clear_progress() {
  if (!progress_ || shown_ == 0) return;
  std::string line = "\r";
  line.append(shown_, ' ');
  line += '\r';
  shown_ = 0;
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

}  // namespace orthaxis::textio
