#pragma once
// The data matrix: title record, a record of counts, then the rows of values,
// one free-format statement per row. When the stored columns are the objects
// the file is first transposed into NEWDATA.st$.

#include <cstdint>
#include <span>
#include <string>

#include "textio/console.h"
#include "textio/free_format.h"
#include "textio/record_file.h"

namespace orthaxis::input {

inline constexpr std::size_t kTitleLength = 100;
inline constexpr const char* kTransposedName = "NEWDATA.st$";

// Transposes the data file open on `data` (unit 1) into NEWDATA.st$ and
// leaves `data` open on it, rewound. `objects` and `variables` come in as the
// setup's rows and columns and go out swapped, taken from the counts of the
// data file's second record.
void transpose(textio::RecordFile& data, std::int32_t& objects, std::int32_t& variables,
               textio::Console& console);

// Reads the title and the first integer of the second record, leaving the
// file at the first row of values.
std::string read_heading(textio::RecordFile& data);

// One object's row: p values in one free-format statement.
inline void read_row(textio::RecordFile& data, std::span<float> row) {
  textio::read_reals(data, row);
}

}  // namespace orthaxis::input
