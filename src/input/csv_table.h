#pragma once
// A table in comma-separated form, as R's write.csv or pandas' to_csv write
// it: a header row of variable names, then one row per object, optionally
// headed by the object's name. Fields may be quoted (a doubled quote stands
// for one quote; separators and line ends inside quotes belong to the field).
// An empty field and NA are missing values. A UTF-8 byte-order mark and CRLF
// line ends are accepted.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/missing.h"

namespace orthaxis::input {

struct CsvSettings {
  char separator = ',';  // ',', ';' or '\t'
  char decimal = '.';    // '.' or ','
};

struct CsvTable {
  std::vector<std::string> variables;  // header names of the value columns
  std::vector<std::string> objects;    // first-column names; empty when the rows have none
  std::vector<float> values;           // row by row; kMissing marks a missing value
  std::vector<std::int64_t> lines;     // line of the text on which each row starts

  static constexpr float kMissing = analysis::kMissingCell;

  std::int64_t rows() const { return static_cast<std::int64_t>(lines.size()); }
  std::int64_t columns() const { return static_cast<std::int64_t>(variables.size()); }
  bool has_object_names() const { return !objects.empty(); }
  float at(std::int64_t row, std::int64_t column) const {
    return values[static_cast<std::size_t>(row * columns() + column)];
  }
  // The field number of a value column on its line (1-based).
  std::int64_t field_of(std::int64_t column) const { return column + (has_object_names() ? 2 : 1); }
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

// One cell as a number: optional sign, digits with an optional decimal mark,
// optional exponent (e or E). Surrounding blanks are ignored. False when the
// text is not such a number; `too_large` tells one beyond single precision.
bool parse_csv_number(std::string_view text, char decimal, float& value, bool& too_large);

// The shortest text that the program's free-format reader turns back into
// the same single-precision value (negative zero is written as 0).
std::string shortest_float(float value);

}  // namespace orthaxis::input
