#include "textio/console.h"

namespace orthaxis::textio {

void Console::write(std::string_view record) {
  if (keep_ != nullptr && !keep_(record)) return;
  if (!any_) {
    buffer_ += record;
    any_ = true;
  } else if (!record.empty() && record[0] == '+') {
    buffer_ += '\r';
    buffer_ += record.substr(1);
  } else {
    buffer_ += '\n';
    buffer_ += record;
  }
  if (buffer_.size() >= (1u << 16)) flush();
}

void Console::flush() {
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
}

void Console::finish() {
  if (any_) buffer_ += '\n';
  any_ = false;
  flush();
  std::fflush(out_);
}

}  // namespace orthaxis::textio
