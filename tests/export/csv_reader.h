#pragma once
// A strict reader of comma-separated text (RFC 4180 quoting, LF line ends):
// a quote may only open a field or, doubled, stand inside a quoted one; a
// quoted field must be closed and followed by a comma or a line end; every
// row has as many fields as the header. Anything else fails the test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace orthaxis::testing {

using CsvRows = std::vector<std::vector<std::string>>;

inline CsvRows parse_csv(const std::string& text) {
  CsvRows rows;
  std::vector<std::string> row;
  std::string field;
  std::size_t i = 0;
  bool row_open = false;
  while (i < text.size()) {
    row_open = true;
    if (text[i] == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) {
          ADD_FAILURE() << "unclosed quote";
          return {};
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
      if (i < text.size() && text[i] != ',' && text[i] != '\n') {
        ADD_FAILURE() << "text after a closing quote at " << i;
        return {};
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\n') {
        if (text[i] == '"' || text[i] == '\r') {
          ADD_FAILURE() << "quote or CR in an unquoted field at " << i;
          return {};
        }
        field += text[i++];
      }
    }
    row.push_back(field);
    field.clear();
    if (i < text.size() && text[i] == ',') {
      ++i;
      if (i == text.size()) row.push_back("");
      continue;
    }
    if (i < text.size()) ++i;  // the line end
    rows.push_back(row);
    row.clear();
    row_open = false;
  }
  if (row_open) rows.push_back(row);
  EXPECT_FALSE(text.empty() || text.back() != '\n') << "the last line has no line end";
  for (const auto& r : rows)
    EXPECT_EQ(r.size(), rows.front().size()) << "a row with another number of fields";
  return rows;
}

// A numeric field, which must be a whole number in C syntax.
inline double csv_number(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  EXPECT_TRUE(!text.empty() && *end == '\0') << "not a number: \"" << text << "\"";
  return v;
}

}  // namespace orthaxis::testing
