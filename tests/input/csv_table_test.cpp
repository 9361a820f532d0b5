// Tables as R's write.csv and pandas' to_csv write them, and the numbers the
// data file gets from them.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "input/csv_table.h"
#include "textio/free_format.h"

namespace {

using orthaxis::input::CsvError;
using orthaxis::input::CsvSettings;
using orthaxis::input::CsvTable;
using orthaxis::input::parse_csv;
using orthaxis::input::parse_csv_number;
using orthaxis::input::shortest_float;
using Names = std::vector<std::string>;

constexpr float NA = CsvTable::kMissing;

struct ReadCase {
  const char* what;
  std::string text;
  CsvSettings settings;
  Names variables;
  Names objects;
  std::vector<float> values;  // NA: missing
  std::vector<std::int64_t> lines;
};

// Values compare as written, a missing value only with a missing one.
void expect_values(const std::vector<float>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < got.size(); ++k) {
    if (std::isnan(want[k]))
      EXPECT_TRUE(std::isnan(got[k])) << k;
    else
      EXPECT_EQ(got[k], want[k]) << k;
  }
}

TEST(CsvTable, ReadsTheTablesThatRAndPandasWrite) {
  const ReadCase cases[] = {
      {"write.csv: quoted names, empty first header cell, NA",
       "\"\",\"Sepal.Length\",\"Sepal.Width\"\n\"1\",5.1,NA\n\"2\",4.9,3\n", {},
       {"Sepal.Length", "Sepal.Width"}, {"1", "2"}, {5.1f, NA, 4.9f, 3.0f}, {2, 3}},
      {"to_csv: numeric index under an empty header cell, empty cells missing",
       ",a,b\n0,1.5,\n1,,2e-3\n", {}, {"a", "b"}, {"0", "1"}, {1.5f, NA, NA, 0.002f}, {2, 3}},
      {"a numeric first column is a variable",
       "x,y\n1,2\n-3,NA\n", {}, {"x", "y"}, {}, {1.0f, 2.0f, -3.0f, NA}, {2, 3}},
      {"one cell that is not a number makes the first column names",
       "site,a\n1,4\nsite 2,5\n", {}, {"a"}, {"1", "site 2"}, {4.0f, 5.0f}, {2, 3}},
      {"quotes doubled, separators and a line end inside quotes, CRLF, BOM",
       "\xEF\xBB\xBF,\"a, \"\"the\"\" first\",b\r\n\"x,1\",1,2\r\n\"two\nlines\",3,4\r\n\r\n", {},
       {"a, \"the\" first", "b"}, {"x,1", "two\nlines"}, {1.0f, 2.0f, 3.0f, 4.0f}, {2, 3}},
      {"semicolons and decimal commas",
       "\"\";\"a\";\"b\"\n\"r1\";13,2;-0,5\n\"r2\";1e3;7\n", {';', ','}, {"a", "b"}, {"r1", "r2"},
       {13.2f, -0.5f, 1000.0f, 7.0f}, {2, 3}},
      {"tabs, blanks around numbers",
       "id\tv\nA\t 2.5 \nB\t3\n", {'\t', '.'}, {"v"}, {"A", "B"}, {2.5f, 3.0f}, {2, 3}},
      {"one column: an empty line inside is a missing value, at the end nothing",
       "v\n1\n\n2\n\n\n", {}, {"v"}, {}, {1.0f, NA, 2.0f}, {2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CsvTable t = parse_csv(c.text, c.settings);
    EXPECT_EQ(t.variables, c.variables);
    EXPECT_EQ(t.objects, c.objects);
    expect_values(t.values, c.values);
    EXPECT_EQ(t.lines, c.lines);
  }
}

TEST(CsvTable, RefusesWhatItCannotReadAndSaysWhere) {
  struct Case {
    const char* what;
    std::string text;
    CsvSettings settings;
    std::int64_t line, field;
    const char* reason;
  };
  const Case cases[] = {
      {"empty text", "\n\r\n", {}, 0, 0, "empty"},
      {"header only", "a,b\n", {}, 0, 0, "no rows of values"},
      {"names only", "name\nx\ny\n", {}, 0, 0, "no columns of values"},
      {"a row too short", "a,b\n1,2\n3\n", {}, 3, 0, "1 field where the header row has 2"},
      {"a row too long", "a,b\n1,2,3\n", {}, 2, 0, "empty first cell"},
      {"a blank line inside", "a,b\n1,2\n\n3,4\n", {}, 3, 0, "1 field where"},
      {"text in a value column", "n,a,b\nx,1,2\ny,1,z\n", {}, 3, 3, "\"z\" is not a number"},
      {"decimal comma without --dec", "a;b\n1;2,5\n", {';', '.'}, 2, 2, "--dec ,"},
      {"decimal point with --dec ,", "a;b\n1;2.5\n", {';', ','}, 2, 2, "--dec ."},
      {"too large, first column", "a,b\n1e39,1\n", {}, 2, 1, "too large"},
      {"unclosed quote", "a,b\n1,\"2\n3,4\n", {}, 2, 2, "never closed"},
      {"text after a closing quote", "a,b\n1,\"2\"x\n", {}, 2, 2, "closing quote"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      parse_csv(c.text, c.settings);
      ADD_FAILURE() << "accepted";
    } catch (const CsvError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.field(), c.field);
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

TEST(CsvNumber, AcceptsPlainDecimalNumbersOnly) {
  struct Case {
    const char* text;
    char decimal;
    bool ok;
    float value;
  };
  const Case cases[] = {
      {"13,25", ',', true, 13.25f}, {"+2E3", '.', true, 2000.0f}, {".5", '.', true, 0.5f},
      {"5.", '.', true, 5.0f},      {"1e-50", '.', true, 0.0f},   {"1.5", ',', false, 0},
      {"e5", '.', false, 0},        {"1e", '.', false, 0},        {"--1", '.', false, 0},
      {"0x1p3", '.', false, 0},     {"inf", '.', false, 0},       {"nan", '.', false, 0},
      {"1 2", '.', false, 0},       {".", '.', false, 0},         {"1.5D3", '.', false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    float v = -7.0f;
    bool too_large = true;
    EXPECT_EQ(parse_csv_number(c.text, c.decimal, v, too_large), c.ok);
    EXPECT_FALSE(too_large);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
  float v;
  bool too_large;
  EXPECT_FALSE(parse_csv_number("-4e38", '.', v, too_large));
  EXPECT_TRUE(too_large);
}

// Every value written to the data file reads back, through the program's own
// free-format reader, to the same bits (zero's sign aside).
TEST(CsvNumber, WrittenValuesReadBackToTheSameFloat) {
  std::vector<float> values = {0.1f,
                               5.1f,
                               1.0f / 3.0f,
                               16777217.0f,
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::epsilon(),
                               123456789.0f,
                               1e-20f};
  std::mt19937 gen(20261208);
  std::uniform_int_distribution<std::uint32_t> bits(0, 0x7f7fffffu);  // finite, non-negative
  for (int k = 0; k < 20000; ++k) values.push_back(std::bit_cast<float>(bits(gen)));
  for (float x : values) {
    const std::string text = shortest_float(x);
    float back = -1.0f;
    bool overflow = false;
    ASSERT_TRUE(orthaxis::textio::parse_real(text, back, overflow)) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(x)) << text;
    // The CSV reader agrees with the program's reader.
    float csv = -1.0f;
    bool too_large = false;
    ASSERT_TRUE(parse_csv_number(text, '.', csv, too_large)) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(csv), std::bit_cast<std::uint32_t>(x)) << text;
  }
  EXPECT_EQ(shortest_float(-0.0f), "0");
}

}  // namespace
