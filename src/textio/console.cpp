#include "textio/console.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace orthaxis::textio {

Console::Console(std::FILE* out) : Console(out, isatty(fileno(out)) == 1) {}

void Console::write(std::string_view record) {
  if (keep_ != nullptr && !keep_(record)) return;
  const bool overprint = any_ && !record.empty() && record[0] == '+';
  if (!any_) {
    buffer_ += record;
    any_ = true;
  } else if (overprint) {
    buffer_ += '\r';
    buffer_ += record.substr(1);
  } else {
    buffer_ += '\n';
    buffer_ += record;
  }
  if (overprint || every_record_ || buffer_.size() >= (1u << 16)) flush();
}

void Console::write_records(std::string_view records) {
  // At once when each record would only be appended: no filter, no record
  // sent on by itself, none that overprints.
  bool one_by_one = keep_ != nullptr || every_record_;
  for (std::size_t at = 0; !one_by_one && at < records.size();) {
    one_by_one = records[at] == '+';
    const std::size_t end = records.find('\n', at);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  if (one_by_one) {
    while (!records.empty()) {
      const std::size_t end = std::min(records.find('\n'), records.size());
      write(records.substr(0, end));
      records.remove_prefix(std::min(end + 1, records.size()));
    }
    return;
  }
  if (records.empty()) return;
  if (any_) buffer_ += '\n';
  buffer_.append(records.substr(0, records.size() - 1));
  any_ = true;
  if (buffer_.size() >= (1u << 16)) flush();
}

void Console::flush() {
  // Failures are ignored: see the header.
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
  std::fflush(out_);
}

void Console::finish() {
  if (any_) buffer_ += '\n';
  any_ = false;
  flush();
}

void prepare_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is fd itself.
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace orthaxis::textio
