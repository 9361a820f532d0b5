#pragma once
// The data matrix: title record, a record of counts, then the rows of values,
// one free-format statement per row. When the stored columns are the objects
// the file is first transposed into NEWDATA.st$.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/console.h"
#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace orthaxis::input {

inline constexpr std::size_t kTitleLength = 100;
inline constexpr const char* kTransposedName = "NEWDATA.st$";

// How the values of a data file were read, for a person's warnings: rows
// whose read left values unread on its last line (free format skips them),
// and values after the last row that is read.
struct ReadFindings {
  std::int64_t rows_with_values_left = 0;
  std::int64_t first_line_with_values_left = 0;
  std::int64_t values_after_last_row = 0;

  // After one row's read: `rest` is what it left on `line`.
  void row_read(std::string_view rest, std::int64_t line) {
    if (textio::count_fields(rest) == 0) return;
    if (rows_with_values_left++ == 0) first_line_with_values_left = line;
  }
};

// The counts of the second record, as far as they stand on it.
struct HeadingCounts {
  std::int32_t first = 0;
  bool has_second = false;
  std::int32_t second = 0;
};

// The stored matrix of a data file whose columns are the objects, as read
// before its transposition: rows x columns values, row by row.
struct StoredMatrix {
  std::string title;
  std::int32_t rows = 0, columns = 0;
  std::vector<float> values;
};

// Reads the title, the counts and the stored rows. The counts must lie
// within the setup's; `findings`, when given, gathers what the reads left.
StoredMatrix read_stored(textio::RecordFile& data, std::int32_t setup_rows,
                         std::int32_t setup_columns, ReadFindings* findings = nullptr);

// The numbers of objects and variables of a data matrix.
struct Shape {
  std::int32_t objects = 0, variables = 0;
};

// Transposes the data file open on `data` (unit 1) into NEWDATA.st$ of `dir`
// and leaves `data` open on it, rewound. `stored` holds the setup's rows and
// columns; the result is the transposed shape, taken from the counts of the
// data file's second record.
Shape transpose(textio::RecordFile& data, Shape stored, const textio::Directory& dir,
                textio::Console& console, ReadFindings* findings = nullptr);

// Reads the title and the first integer of the second record, leaving the
// file at the first row of values. `counts`, when given, receives the first
// integer and the second one when it stands on the same line.
std::string read_heading(textio::RecordFile& data, HeadingCounts* counts = nullptr);

// One object's row: p values in one free-format statement. Returns what the
// read left unread on its last line.
inline std::string_view read_row(textio::RecordFile& data, std::span<float> row) {
  return textio::read_reals(data, row);
}

// The number of values in the rest of the file (fields between blanks and
// commas), reading it to its end.
std::int64_t count_remaining_values(textio::RecordFile& data);

// A read of row `row` that met the end of the file: the failure is rethrown
// saying which row and how many values were expected.
[[noreturn]] void expect_row(const textio::IoError& e, std::int64_t row, std::int64_t rows,
                             std::int64_t values);

}  // namespace orthaxis::input
