#pragma once
// A strict reader of comma-separated text (RFC 4180 quoting, LF line ends):
// a quote may only open a field or, doubled, stand inside a quoted one; a
// closing quote is followed by a comma or a line end; every line ends in LF;
// every row has as many fields as the header. Anything else fails the test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace orthaxis::testing {

using CsvRows = std::vector<std::vector<std::string>>;

inline CsvRows parse_csv(const std::string& text) {
  CsvRows rows(1);
  std::string field;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return ADD_FAILURE() << "unclosed quote", CsvRows{};
        if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
        if (text[i] == '"') ++i;  // a doubled quote
        field += text[i];
      }
      ++i;
    } else {
      for (; i < text.size() && text[i] != ',' && text[i] != '\n'; ++i) {
        if (text[i] == '"' || text[i] == '\r')
          return ADD_FAILURE() << "quote or CR in an unquoted field at " << i, CsvRows{};
        field += text[i];
      }
    }
    if (i >= text.size()) return ADD_FAILURE() << "the last line has no line end", CsvRows{};
    if (text[i] != ',' && text[i] != '\n')
      return ADD_FAILURE() << "text after a closing quote at " << i, CsvRows{};
    rows.back().push_back(field);
    field.clear();
    if (text[i++] == '\n' && i < text.size()) rows.emplace_back();
  }
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
