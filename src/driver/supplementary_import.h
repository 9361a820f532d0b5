#pragma once
// The supplementary parts of an imported table: the rows and columns that
// --sup-rows and --sup-cols name, and the columns of texts (qualitative
// variables, always supplementary). The active part is what an import of
// it alone would give; the rest goes into the files of
// input/supplementary_files.h.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "input/csv_table.h"
#include "input/supplementary_files.h"

namespace orthaxis::driver {

// The 0-based items a list names: names as given (`names`), 1-based
// positions and ranges (38-41) among `count`; a whole number or a range is a
// position, anything else a name. `option` and `what` ("row", "column") word
// the refusal (a SetupError). Sorted, each once.
std::vector<std::int64_t> select_items(std::string_view list, std::string_view option,
                                       std::string_view what, std::int64_t count,
                                       const std::vector<std::string>& names);

// The notice for a column read as texts (`object_names`: the table's first
// column holds names).
std::string qualitative_notice(const std::string& file, const input::QualitativeColumn& q,
                               bool object_names, char decimal);

struct SplitTable {
  input::CsvTable active;
  input::SupplementaryData supplementary;
  std::vector<std::string> notices;  // one line each for standard error
};

// Splits `table` (read from `file`) as the options ask. Refusals are
// SetupErrors: one line naming the list, the cell or the column.
SplitTable split_table(input::CsvTable table, const Options& options, const std::string& file);

}  // namespace orthaxis::driver
