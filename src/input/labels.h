#pragma once
// Label files: a first record with an integer (read, not used), then one
// 8-character label per line.

#include <cstdint>
#include <string>
#include <vector>

#include "textio/record_file.h"

namespace orthaxis::input {

inline constexpr std::size_t kLabelLength = 8;

// Label lines longer than a label, for a person's warning.
struct CutLabels {
  std::int64_t count = 0;
  std::int64_t first_line = 0;
  std::string first_label;  // the first cut label as kept
};

// `whole`, when given, also receives the labels as whole lines without
// trailing blanks (for the tables and pictures, where a label need not be cut
// to 8 characters).
std::vector<std::string> read_labels(int unit, const std::string& path, std::int64_t count,
                                     CutLabels* cut = nullptr,
                                     std::vector<std::string>* whole = nullptr);

// The same from a label file opened by the caller; the file is closed on return.
std::vector<std::string> read_labels(textio::RecordFile& file, std::int64_t count,
                                     CutLabels* cut = nullptr,
                                     std::vector<std::string>* whole = nullptr);

}  // namespace orthaxis::input
