#include "input/labels.h"

#include <array>

#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace orthaxis::input {

std::vector<std::string> read_labels(int unit, const std::string& path, std::int64_t count) {
  textio::RecordFile file(unit, path, textio::RecordFile::Open::kExisting);
  std::array<std::int32_t, 1> first{0};
  textio::read_ints(file, first);
  std::vector<std::string> labels;
  labels.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) labels.push_back(textio::read_text(file, kLabelLength));
  file.close();
  return labels;
}

std::vector<std::string> read_label_lines(int unit, const std::string& path,
                                          std::int64_t count) {
  textio::RecordFile file(unit, path, textio::RecordFile::Open::kExisting);
  std::array<std::int32_t, 1> first{0};
  textio::read_ints(file, first);
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    std::string_view record;
    if (!file.next_record(record))
      throw textio::IoError(textio::kPastEnd, "READ", unit, path, file.line() + 1);
    lines.emplace_back(textio::trim_right(record));
  }
  file.close();
  return lines;
}

}  // namespace orthaxis::input
