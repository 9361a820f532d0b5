#include "input/labels.h"

#include <array>

#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace orthaxis::input {

std::vector<std::string> read_labels(int unit, const std::string& path, std::int64_t count,
                                     CutLabels* cut, std::vector<std::string>* whole) {
  textio::RecordFile file(unit, path, textio::RecordFile::Open::kExisting);
  return read_labels(file, count, cut, whole);
}

std::vector<std::string> read_labels(textio::RecordFile& file, std::int64_t count,
                                     CutLabels* cut, std::vector<std::string>* whole) {
  std::array<std::int32_t, 1> first{0};
  textio::read_ints(file, first);
  std::vector<std::string> labels;
  labels.reserve(static_cast<std::size_t>(count));
  if (whole != nullptr) whole->reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    std::string_view record;
    try {
      if (!file.next_record(record)) {
        throw textio::IoError(textio::kPastEnd, "READ", file.unit(), file.path(), file.line() + 1);
      }
    } catch (const textio::IoError& e) {
      textio::IoError located = e;
      located.expect("label " + std::to_string(i + 1) + " of " + std::to_string(count) +
                     " is read (one label a line after the first line)");
      throw located;
    }
    // The label is the line's first characters, padded with blanks or cut.
    const std::string_view kept = textio::trim_right(record);
    labels.push_back(textio::fixed_text(record, kLabelLength));
    if (whole != nullptr) whole->emplace_back(kept);
    if (kept.size() > kLabelLength && cut != nullptr && cut->count++ == 0) {
      cut->first_line = file.line();
      cut->first_label = labels.back();
    }
  }
  file.close();
  return labels;
}

}  // namespace orthaxis::input
