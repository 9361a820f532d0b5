#pragma once
// The supplementary parts of an imported table: the rows and columns that
// --sup-rows and --sup-cols name, and the columns of texts (qualitative
// variables, always supplementary). The active part is what an import of
// it alone would give; the rest goes into the files of
// input/supplementary_files.h.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "input/csv_table.h"
#include "input/supplementary_files.h"

namespace orthaxis::driver {

// One item of a --sup-rows or --sup-cols list, blanks trimmed: a whole
// number is a 1-based position (first == last), two joined by a dash a
// range, anything else a name.
struct ListItem {
  std::string_view text;
  bool position = false;
  std::int64_t first = 0, last = 0;  // 1-based, with `position`
};
std::vector<ListItem> list_items(std::string_view list);

// The 0-based items a list names: names as given (`names`), 1-based
// positions and ranges (38-41) among `count`; a whole number or a range is a
// position, anything else a name. `option` and `what` ("row", "column") word
// the refusal (a SetupError). Sorted, each once.
std::vector<std::int64_t> select_items(std::string_view list, std::string_view option,
                                       std::string_view what, std::int64_t count,
                                       const std::vector<std::string>& names);

// Every data column of a table by its position: its name, and its value
// column (-1 for a column of texts).
struct DataColumns {
  std::vector<std::string> names;
  std::vector<std::int64_t> value_of;
};

// The rows and the value columns that --sup-rows and --sup-cols make
// supplementary, a flag each; refuses (SetupError) a list that names
// nothing or a column of texts.
struct SupplementaryChoice {
  std::vector<char> rows, values;
};
SupplementaryChoice choose_supplementary(const Options& options, std::int64_t rows,
                                         const std::vector<std::string>& objects,
                                         const DataColumns& columns, std::size_t value_count);

// Refuses an active part of `file` without a column of numbers, or one that
// the lists leave with fewer than two objects or variables.
void check_active_part(const Options& options, const std::string& file, std::int64_t objects,
                       std::int64_t variables, bool qualitative);

// Why a supplementary value below 0 is refused, after "<value> is negative: ".
inline constexpr std::string_view kNegativeSupplementaryObject =
    "principal component analysis takes values of 0 or more, for supplementary objects as for "
    "the others";
inline constexpr std::string_view kNegativeSupplementaryRow =
    "a supplementary row of a correspondence analysis takes values of 0 or more";
inline constexpr std::string_view kNegativeSupplementaryColumn =
    "a supplementary column of a correspondence analysis takes values of 0 or more";

// Why an active value `v` that is missing (in a correspondence analysis)
// or negative is refused.
std::string active_value_refusal(float v, bool coa);

// A qualitative column over the active objects only (`supplementary`: one
// flag per row of the table), its levels renumbered in their order.
input::QualitativeColumn active_levels(const input::QualitativeColumn& q,
                                       std::span<const char> supplementary);

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
