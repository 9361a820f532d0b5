#pragma once
// A table in comma-separated form, as R's write.csv or pandas' to_csv write
// it: a header row of variable names, then one row per object, optionally
// headed by the object's name. Fields may be quoted (a doubled quote stands
// for one quote; separators and line ends inside quotes belong to the field).
// An empty field and NA are missing values. A UTF-8 byte-order mark and CRLF
// line ends are accepted.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/missing.h"

namespace orthaxis::input {

struct CsvSettings {
  char separator = ',';  // ',', ';' or '\t'
  char decimal = '.';    // '.' or ','
  // A value column with a cell that is neither a number nor a missing value
  // becomes a qualitative column instead of a refusal.
  bool qualitative = false;
};

// A column of texts: each row's level (an index into `levels`, which are
// sorted) or kNoLevel for an empty or NA cell.
struct QualitativeColumn {
  static constexpr std::int32_t kNoLevel = -1;
  std::string name;
  std::int64_t position = 0;          // among the table's data columns, 1-based
  std::vector<std::string> levels;
  std::vector<std::int32_t> codes;    // one per row
  std::int64_t numbers = 0;           // cells that read as numbers
  std::string first_text;             // the first cell that is not a number
  std::int64_t first_line = 0;        // ... and its line
};

struct CsvTable {
  std::vector<std::string> variables;  // header names of the value columns
  std::vector<std::string> objects;    // first-column names; empty when the rows have none
  std::vector<float> values;           // row by row; kMissing marks a missing value
  std::vector<std::int64_t> lines;     // line of the text on which each row starts
  std::vector<QualitativeColumn> qualitative;  // with CsvSettings::qualitative only
  std::vector<std::int64_t> positions;  // data column of each value column (1-based); empty: 1..p

  static constexpr float kMissing = analysis::kMissingCell;

  std::int64_t rows() const { return static_cast<std::int64_t>(lines.size()); }
  std::int64_t columns() const { return static_cast<std::int64_t>(variables.size()); }
  bool has_object_names() const { return !objects.empty(); }
  float at(std::int64_t row, std::int64_t column) const {
    return values[static_cast<std::size_t>(row * columns() + column)];
  }
  // The field number of a value column on its line (1-based).
  std::int64_t field_of(std::int64_t column) const {
    return position_of(column) + (has_object_names() ? 1 : 0);
  }
  // The data column of a value column (1-based; the row names not counted).
  std::int64_t position_of(std::int64_t column) const {
    return positions.empty() ? column + 1 : positions[static_cast<std::size_t>(column)];
  }
};

// A table that cannot be read, or a value the run cannot take. `line` and
// `field` are 0 when the fault has no place in the text.
class CsvError : public std::runtime_error {
 public:
  CsvError(std::string reason, std::int64_t line = 0, std::int64_t field = 0,
           std::string field_name = {});
  std::int64_t line() const { return line_; }
  std::int64_t field() const { return field_; }
  // One line: `<file>, line L, column C ("name"): reason`.
  std::string message(std::string_view file) const;

 private:
  std::string reason_;
  std::int64_t line_;
  std::int64_t field_;
  std::string field_name_;
};

// Reads the whole text. The first column holds object names when the
// header's first cell is empty (and other columns follow) or when any of its
// cells is neither a number nor a missing value.
CsvTable parse_csv(std::string_view text, const CsvSettings& settings);

// The records of a text, each as its fields (quotes removed), with the line
// it starts on; blank lines are passed on as one empty field.
void for_each_record(std::string_view text, char separator,
                     const std::function<void(std::int64_t line,
                                              const std::vector<std::string_view>& fields)>& take);

// One cell as a number: optional sign, digits with an optional decimal mark,
// optional exponent (e or E). Surrounding blanks are ignored. False when the
// text is not such a number; `too_large` tells one beyond single precision.
bool parse_csv_number(std::string_view text, char decimal, float& value, bool& too_large);

// The shortest text that the program's free-format reader turns back into
// the same single-precision value (negative zero is written as 0).
std::string shortest_float(float value);
// The same into `out`, which has room for kShortestFloatChars characters;
// returns the end of what was written.
inline constexpr std::size_t kShortestFloatChars = 32;
char* write_shortest_float(char* out, float value);
// A cell that is already the shortest text of the number it reads as (plain
// digits with '.', at most six significant ones, nothing to drop): true
// only when shortest_float of its value gives these very characters.
bool is_shortest_float_text(std::string_view text);

}  // namespace orthaxis::input
