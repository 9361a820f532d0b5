// Free-format (list-directed) reads and writes, and whole-line text reads.

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace {

namespace tio = orthaxis::textio;
using tio::IoError;
using tio::RecordFile;
using Ints = std::vector<std::int32_t>;
using Reals = std::vector<float>;

class FreeRead : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("orthaxis_free_" + std::to_string(::getpid()) + "_" +
            std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes the bytes to a file and opens it for reading as the given unit.
  RecordFile open(const std::string& bytes, int unit = 1) {
    path_ = (dir_ / "data.txt").string();
    std::ofstream(path_, std::ios::binary) << bytes;
    return RecordFile(unit, path_, RecordFile::Open::kExisting);
  }

  Ints ints(RecordFile& f, Ints items) {
    tio::read_ints(f, items);
    return items;
  }
  Reals reals(RecordFile& f, Reals items) {
    tio::read_reals(f, items);
    return items;
  }

  // Runs one read statement that must fail and returns its failure.
  IoError failure(const std::function<void()>& read) {
    try {
      read();
    } catch (const IoError& e) {
      return e;
    }
    ADD_FAILURE() << "the read did not fail";
    return IoError("", "", 0, "");
  }

  void expect_failure(const IoError& e, const char* reason, int unit, std::int64_t line) {
    EXPECT_EQ(e.reason(), reason);
    EXPECT_EQ(e.statement(), "READ");
    EXPECT_EQ(e.unit(), unit);
    EXPECT_EQ(e.file(), path_);
    EXPECT_EQ(e.record(), line);
  }

  std::filesystem::path dir_;
  std::string path_;
};

// ------------------------------------------------------------ separators

TEST_F(FreeRead, OneLineAndOneValuePerLineReadTheSame) {
  Ints expected = {1, 0, 2, 3, 0, 1, 1, 0, 0, 1, 0, 1};
  RecordFile a = open("1 0 2 3 0 1 1 0 0 1 0 1\n");
  EXPECT_EQ(ints(a, Ints(12, -9)), expected);
  RecordFile b = open("1\n0\n2\n3\n0\n1\n1\n0\n0\n1\n0\n1\n");
  EXPECT_EQ(ints(b, Ints(12, -9)), expected);
}

TEST_F(FreeRead, SurplusValuesAreSkippedAndTheNextStatementStartsOnTheNextLine) {
  RecordFile f = open("1 2 3 4\n5 6\n");
  EXPECT_EQ(ints(f, Ints(2)), Ints({1, 2}));
  EXPECT_EQ(ints(f, Ints(2)), Ints({5, 6}));
}

TEST_F(FreeRead, AStatementReadsAcrossRecords) {
  RecordFile f = open("1 2\n3\n\n4 5 6\n7\n");
  EXPECT_EQ(ints(f, Ints(5)), Ints({1, 2, 3, 4, 5}));
  EXPECT_EQ(ints(f, Ints(1)), Ints({7}));
}

TEST_F(FreeRead, CommasAndBlanksSeparate) {
  RecordFile f = open("1,2 3 , 4 ,5,\n6\n");
  EXPECT_EQ(ints(f, Ints(6, -9)), Ints({1, 2, 3, 4, 5, 6}));
}

TEST_F(FreeRead, TabIsABlank) {
  RecordFile f = open("1\t2 \t 3\t,\t4\n");
  EXPECT_EQ(ints(f, Ints(4, -9)), Ints({1, 2, 3, 4}));
}

// ----------------------------------------------------------- null values

TEST_F(FreeRead, TwoCommasLeaveTheItemUnchanged) {
  RecordFile f = open("1,,3\n1, ,3\n1,,,4\n");
  EXPECT_EQ(ints(f, {7, 8, 9}), Ints({1, 8, 3}));
  EXPECT_EQ(ints(f, {7, 8, 9}), Ints({1, 8, 3}));
  EXPECT_EQ(ints(f, {7, 8, 9, 0}), Ints({1, 8, 9, 4}));
}

TEST_F(FreeRead, LeadingCommaIsANullValue) {
  RecordFile f = open(",2,3\n , 5\n");
  EXPECT_EQ(ints(f, {7, 8, 9}), Ints({7, 2, 3}));
  EXPECT_EQ(ints(f, {7, 8}), Ints({7, 5}));
}

TEST_F(FreeRead, NullRealsKeepTheirValues) {
  RecordFile f = open("1.5,,2.5\n");
  EXPECT_EQ(reals(f, {-1.0f, 0.25f, -1.0f}), Reals({1.5f, 0.25f, 2.5f}));
}

// ----------------------------------------------------------- repeat forms

TEST_F(FreeRead, RepeatedValue) {
  RecordFile f = open("3*0 7\n2*1.5,3\n");
  EXPECT_EQ(ints(f, {9, 9, 9, 9}), Ints({0, 0, 0, 7}));
  EXPECT_EQ(reals(f, Reals(3)), Reals({1.5f, 1.5f, 3.0f}));
}

TEST_F(FreeRead, RepeatCountLargerThanTheRestOfTheList) {
  RecordFile f = open("5*4\n8\n");
  EXPECT_EQ(ints(f, Ints(3)), Ints({4, 4, 4}));
  EXPECT_EQ(ints(f, Ints(1)), Ints({8}));
}

TEST_F(FreeRead, RepeatedNulls) {
  RecordFile f = open("2*,3,4\n2* 3\n");
  EXPECT_EQ(ints(f, {10, 20, 30, 40}), Ints({10, 20, 3, 4}));
  EXPECT_EQ(ints(f, {10, 20, 30}), Ints({10, 20, 3}));
}

// ------------------------------------------------------------------ slash

TEST_F(FreeRead, SlashEndsTheStatement) {
  RecordFile f = open("1 2 / 3 4\n5\n6/\n7\n");
  EXPECT_EQ(ints(f, {0, 0, 9, 9}), Ints({1, 2, 9, 9}));
  EXPECT_EQ(ints(f, {0, 0, 9}), Ints({5, 6, 9}));
  EXPECT_EQ(ints(f, {0}), Ints({7}));
}

TEST_F(FreeRead, SlashAtTheStartLeavesEverything) {
  RecordFile f = open("/ 1 2\n3\n");
  EXPECT_EQ(ints(f, {8, 9}), Ints({8, 9}));
  EXPECT_EQ(ints(f, {0}), Ints({3}));
}

// ---------------------------------------------------------- record ends

TEST_F(FreeRead, CrLfRecords) {
  RecordFile f = open("1 2\r\n3\r\n4.5\r\n");
  EXPECT_EQ(ints(f, Ints(2)), Ints({1, 2}));
  EXPECT_EQ(ints(f, Ints(1)), Ints({3}));
  EXPECT_EQ(reals(f, Reals(1)), Reals({4.5f}));
}

TEST_F(FreeRead, LastLineWithoutNewlineIsARecord) {
  RecordFile f = open("1 2\n3");
  EXPECT_EQ(ints(f, Ints(2)), Ints({1, 2}));
  EXPECT_EQ(ints(f, Ints(1)), Ints({3}));
  IoError e = failure([&] { ints(f, Ints(1)); });
  expect_failure(e, tio::kPastEnd, 1, 3);
}

// --------------------------------------------------------------- integers

TEST_F(FreeRead, IntegersWithSignsAndTheInt32Range) {
  RecordFile f = open("+5 -7 007 2147483647 -2147483648\n");
  EXPECT_EQ(ints(f, Ints(5)),
            Ints({5, -7, 7, 2147483647, std::numeric_limits<std::int32_t>::min()}));
}

// ------------------------------------------------------------------ reals

TEST_F(FreeRead, RealForms) {
  RecordFile f = open("1.5E2 1.5e2 1.5D2 1.5d2 -2.5E-1 +3 .5 5. 1e+2 -0.125D+01 12\n");
  EXPECT_EQ(reals(f, Reals(11)), Reals({150.0f, 150.0f, 150.0f, 150.0f, -0.25f, 3.0f, 0.5f,
                                        5.0f, 100.0f, -1.25f, 12.0f}));
}

TEST_F(FreeRead, RealsAreCorrectlyRounded) {
  RecordFile f = open(
      "0.1 16777217 16777219 1e-45 123456789 3.4028235e38 1.17549435e-38\n"
      "0.100000001490116119384765625 16777217.000000000000000000001 "
      "1.000000059604644775390625 1.000000059604644775390625000001\n");
  Reals r = reals(f, Reals(7));
  EXPECT_EQ(r[0], 0.1f);
  EXPECT_EQ(r[1], 16777216.0f);  // 2^24 + 1 lies halfway: ties to even
  EXPECT_EQ(r[2], 16777220.0f);  // 2^24 + 3 lies halfway: ties to even
  EXPECT_EQ(r[3], std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(r[4], 123456792.0f);  // floats near 1.2e8 are 8 apart
  EXPECT_EQ(r[5], std::numeric_limits<float>::max());
  EXPECT_EQ(r[6], std::numeric_limits<float>::min());
  Reals s = reals(f, Reals(4));
  EXPECT_EQ(s[0], 0.1f);          // the exact value of 0.1f
  EXPECT_EQ(s[1], 16777218.0f);   // just above halfway
  EXPECT_EQ(s[2], 1.0f);          // 1 + 2^-24 is halfway: ties to even
  EXPECT_EQ(s[3], 1.0f + 0x1p-23f);  // just above halfway
}

TEST_F(FreeRead, TinyValuesUnderflowQuietly) {
  RecordFile f = open("1e-50 -1e-50 0e99999\n");
  Reals r = reals(f, Reals(3, 5.0f));
  EXPECT_EQ(r[0], 0.0f);
  EXPECT_EQ(r[1], 0.0f);
  EXPECT_EQ(r[2], 0.0f);
}

// --------------------------------------------------------------- failures

TEST_F(FreeRead, PastEndOfFile) {
  RecordFile f = open("1 2\n", 9);
  IoError e = failure([&] { ints(f, Ints(3)); });
  expect_failure(e, tio::kPastEnd, 9, 2);

  RecordFile empty = open("", 5);
  expect_failure(failure([&] { reals(empty, Reals(1)); }), tio::kPastEnd, 5, 1);
}

TEST_F(FreeRead, IllegalCharacters) {
  for (const char* bad : {"1.2.3", "abc", "1e", "1e+", "--1", "1,5x", ".", "1.5e2.0"}) {
    SCOPED_TRACE(bad);
    RecordFile f = open(std::string("0\n") + bad + "\n", 1);
    reals(f, Reals(1));
    expect_failure(failure([&] { reals(f, Reals(2)); }), tio::kIllegalChar, 1, 2);
  }
  for (const char* bad : {"1.5", "1e3", "x", "+", "2-"}) {
    SCOPED_TRACE(bad);
    RecordFile f = open(std::string("0\n\n") + bad + "\n", 2);
    ints(f, Ints(1));
    expect_failure(failure([&] { ints(f, Ints(1)); }), tio::kIllegalChar, 2, 3);
  }
}

TEST_F(FreeRead, IllegalRepeatCounts) {
  for (const char* bad : {"0*5", "x*5", "*5", "-2*5", "1.5*2"}) {
    SCOPED_TRACE(bad);
    RecordFile f = open(std::string("1 ") + bad + "\n", 7);
    expect_failure(failure([&] { ints(f, Ints(2)); }), tio::kIllegalRepeat, 7, 1);
  }
}

TEST_F(FreeRead, IntegerOverflowNamesTheRecord) {
  RecordFile f = open("1\n2147483648\n", 4);
  ints(f, Ints(1));
  IoError e = failure([&] { ints(f, Ints(1)); });
  expect_failure(e, tio::kIntegerOverflow, 4, 2);
  RecordFile g = open("-2147483649\n", 4);
  expect_failure(failure([&] { ints(g, Ints(1)); }), tio::kIntegerOverflow, 4, 1);
}

TEST_F(FreeRead, RealOverflowIsAnError) {
  RecordFile f = open("1e39\n", 3);
  expect_failure(failure([&] { reals(f, Reals(1)); }), tio::kRealOverflow, 3, 1);
}

// --------------------------------------------------------------- read_text

TEST_F(FreeRead, WholeLineTextIsPaddedOrCut) {
  std::string long_line(120, 'x');
  long_line[99] = 'y';
  RecordFile f = open("short title\r\n" + long_line + "\n\n 12 \n");
  EXPECT_EQ(tio::read_text(f, 20), "short title         ");
  EXPECT_EQ(tio::read_text(f, 100), long_line.substr(0, 100));
  EXPECT_EQ(tio::read_text(f, 8), std::string(8, ' '));
  // A free-format read after text reads continue with the next record.
  EXPECT_EQ(ints(f, Ints(1)), Ints({12}));
  expect_failure(failure([&] { tio::read_text(f, 8); }), tio::kPastEnd, 1, 5);
}

// Many random reals of every short length (runs of 1 to 10 digits, signs,
// exponents, fields at the ends of records) read as rows through the reader
// must equal the C library's correctly rounded conversion.
TEST_F(FreeRead, RandomRowsAgreeWithTheCLibrary) {
  std::mt19937_64 rng(777);
  auto digits = [&rng](int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  const char* seps[] = {" ", "  ", ",", " , ", "\t"};
  std::string text;
  std::vector<std::vector<float>> rows;
  for (int r = 0; r < 3000; ++r) {
    int columns = 1 + static_cast<int>(rng() % 12);
    std::vector<float> row;
    if (rng() % 2) text += ' ';
    for (int c = 0; c < columns; ++c) {
      std::string field;
      if (rng() % 5 == 0) field += rng() % 2 ? '-' : '+';
      int whole = static_cast<int>(rng() % 11);
      int frac = static_cast<int>(rng() % 11);
      if (whole + frac == 0) whole = 1;
      field += digits(whole);
      if (frac > 0 || rng() % 2) { field += '.'; field += digits(frac); }
      std::string c_field = field;
      if (rng() % 4 == 0) {
        std::string ex = std::to_string(static_cast<int>(rng() % 40) - 25);
        { field += "EeDd"[rng() % 4]; field += ex; }
        { c_field += 'e'; c_field += ex; }
      }
      row.push_back(std::strtof(c_field.c_str(), nullptr));
      if (c > 0) text += seps[rng() % 5];
      text += field;
    }
    text += rng() % 3 == 0 ? "\r\n" : "\n";
    rows.push_back(row);
  }
  RecordFile f = open(text);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    Reals got = reals(f, Reals(rows[r].size(), -1.0f));
    for (std::size_t c = 0; c < got.size(); ++c)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(got[c]), std::bit_cast<std::uint32_t>(rows[r][c]))
          << "row " << r + 1 << " column " << c + 1;
  }
}

// Records read from a buffer where other records follow: the many-fields-at-
// a-time path gives what read_plain_reals gives, value bits and rest, for
// fields of every short shape, records across the 64-byte steps, and a
// following record that starts with digits.
TEST(PaddedReals, GiveWhatPlainRealsGives) {
  std::mt19937_64 rng(2026);
  // The first fourteen are short decimals, the others are read another way.
  constexpr std::size_t kShort = 14;
  const char* tokens[] = {"0", "7", "12.345", ".5", "7.", "16777216", "1234567.", ".1234567",
                          "-1", "-0", "-12.345", "-.5", "-7.", "-1677721",
                          "16777217", "99999999", "0.00000001", "3.25e2", "+4", "-", "-.", "--1",
                          "1-2", "-16777217", "-1234567.", "1,2", ",", "/", "5*2", "x1", "..",
                          "1.2.3", "\t", " ", "  "};
  auto check = [](const std::string& record, const std::string& after, std::size_t items) {
    std::string buffer = record;
    buffer.append(after).append(tio::kRecordPadding, '9');
    const std::string_view in_buffer(buffer.data(), record.size());
    std::vector<float> want(items, -7.0f), got(items, -7.0f);
    std::string_view want_rest, got_rest;
    const bool plain = tio::read_plain_reals(record, want, &want_rest);
    // The conversion this processor runs, and the one without AVX2.
    for (auto padded : {&tio::read_plain_reals_padded, &tio::read_plain_reals_padded_portable}) {
      ASSERT_EQ(padded(in_buffer, got, &got_rest), plain) << record;
      if (!plain) continue;
      EXPECT_EQ(got_rest, want_rest) << record;
      for (std::size_t k = 0; k < items; ++k)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got[k]), std::bit_cast<std::uint32_t>(want[k]))
            << record << " item " << k + 1;
    }
  };
  // Hand-worked: 12.345 is 12345 / 1000 rounded once; the rest follows the last item.
  {
    const std::string buffer = " 12.345\t0.5 7. 8 tail" + std::string(tio::kRecordPadding, ' ');
    float v[4];
    std::string_view rest;
    ASSERT_TRUE(tio::read_plain_reals_padded(std::string_view(buffer.data(), 21), v, &rest));
    EXPECT_EQ(v[0], 12345.0f / 1000.0f);
    EXPECT_EQ(v[1], 0.5f);
    EXPECT_EQ(v[2], 7.0f);
    EXPECT_EQ(v[3], 8.0f);
    EXPECT_EQ(rest, " tail");
  }
  for (int r = 0; r < 20000; ++r) {
    std::string record;
    const int fields = 1 + static_cast<int>(rng() % 40);
    const bool plain_shapes = rng() % 2 == 0;  // half the records: nearly all short decimals
    for (int f = 0; f < fields; ++f) {
      record += std::string(1 + rng() % 3 * (rng() % 2), rng() % 8 == 0 ? '\t' : ' ');
      const bool any = !plain_shapes || rng() % 200 == 0;
      record += tokens[rng() % (any ? std::size(tokens) : kShort)];
    }
    if (rng() % 3 == 0) record += ' ';
    const std::size_t items = 1 + rng() % static_cast<std::size_t>(fields + 1);
    check(record, rng() % 2 ? "123 4" : "\n", items);
  }
  // Fields across the 64-byte steps, and records of exactly 64 and 128 bytes.
  for (std::size_t length : {63, 64, 65, 127, 128, 129}) {
    for (std::size_t shift = 0; shift < 8; ++shift) {
      std::string record(shift, ' ');
      while (record.size() < length) record += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100) + " ";
      record.resize(length);
      if (record.back() == ' ' || record.back() == '.') record.back() = '5';
      check(record, "42", 1 + rng() % 20);
    }
  }
}

// ---------------------------------------------------------- parse_real

// The C library's conversion is correctly rounded; it is the reference for
// many random short decimals of the kinds data files hold.
TEST(ParseReal, AgreesWithTheCLibraryOnRandomDecimals) {
  std::mt19937_64 rng(12345);
  auto digits = [&rng](int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  const char* exp_letters = "EeDd";
  for (int trial = 0; trial < 200000; ++trial) {
    std::string text;
    if (rng() % 4 == 0) text += rng() % 2 ? '-' : '+';
    int whole = static_cast<int>(rng() % 9);
    int frac = static_cast<int>(rng() % 9);
    if (whole + frac == 0) whole = 1;
    text += digits(whole);
    if (frac > 0 || rng() % 2) { text += '.'; text += digits(frac); }
    std::string c_text = text;
    if (rng() % 3 == 0) {
      int e = static_cast<int>(rng() % 70) - 40;
      std::string ex = std::to_string(e);
      char letter = exp_letters[rng() % 4];
      text += letter;
      text += ex;
      c_text += 'e';
      c_text += ex;
    }
    errno = 0;
    float expected = std::strtof(c_text.c_str(), nullptr);
    float got = -1.0f;
    bool overflow = false;
    ASSERT_TRUE(tio::parse_real(text, got, overflow)) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(expected))
        << text;
  }
}

TEST(ParseInt, RejectsWhatIsNotAnInteger) {
  std::int32_t v = 0;
  bool overflow = true;
  EXPECT_FALSE(tio::parse_int("", v, overflow));
  EXPECT_FALSE(overflow);
  EXPECT_FALSE(tio::parse_int("-", v, overflow));
  EXPECT_FALSE(tio::parse_int("1 2", v, overflow));
  EXPECT_TRUE(tio::parse_int("-0", v, overflow));
  EXPECT_EQ(v, 0);
}

// ------------------------------------------------------- free-format write

TEST(FreeWrite, RecordLayout) {
  using tio::free_format_record;
  EXPECT_EQ(free_format_record({}), "");
  EXPECT_EQ(free_format_record({std::int32_t{5}}), " 5");
  EXPECT_EQ(free_format_record({std::int32_t{5}, std::int32_t{-7}}), " 5 -7");
  EXPECT_EQ(free_format_record({"abc"}), " abc");
  EXPECT_EQ(free_format_record({"ab ", "cd"}), " ab cd");
  EXPECT_EQ(free_format_record({std::int32_t{5}, "x"}), " 5 x");
  EXPECT_EQ(free_format_record({"x", std::int32_t{5}}), " x 5");
  EXPECT_EQ(free_format_record({"n=", std::int32_t{3}, "p=", std::int32_t{4}}), " n= 3 p= 4");
  EXPECT_EQ(free_format_record({std::numeric_limits<std::int32_t>::min()}), " -2147483648");
  EXPECT_EQ(free_format_record({1.5f}), " 1.5");
}

TEST(FreeWrite, SpansOfRealsExpandToItems) {
  Reals v = {1.5f, -0.25f, 100.0f};
  std::string r = tio::free_format_record({"row", std::span<const float>(v)});
  ASSERT_EQ(r.substr(0, 5), " row ");
  // Three numbers, each preceded by exactly one blank, each reading back.
  std::string rest = r.substr(4);
  Reals back;
  std::size_t k = 0;
  while (k < rest.size()) {
    ASSERT_EQ(rest[k], ' ');
    ASSERT_NE(rest[k + 1], ' ');
    std::size_t end = rest.find(' ', k + 1);
    if (end == std::string::npos) end = rest.size();
    float x = 0;
    bool ovf = false;
    ASSERT_TRUE(tio::parse_real(rest.substr(k + 1, end - k - 1), x, ovf));
    back.push_back(x);
    k = end;
  }
  EXPECT_EQ(back, v);
}

TEST(FreeWrite, RealsReadBackIdentically) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 200000; ++trial) {
    float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (!std::isfinite(v)) continue;
    std::string r = tio::free_format_record({v});
    ASSERT_GE(r.size(), 2u);
    ASSERT_EQ(r[0], ' ');
    float back = 0;
    bool ovf = false;
    ASSERT_TRUE(tio::parse_real(std::string_view(r).substr(1), back, ovf)) << r;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << r;
  }
}

TEST(FixedText, PadsAndCuts) {
  EXPECT_EQ(tio::fixed_text("ab", 4), "ab  ");
  EXPECT_EQ(tio::fixed_text("abcdef", 4), "abcd");
  EXPECT_EQ(tio::trim_right("name   "), "name");
  EXPECT_EQ(tio::trim_right("   "), "");
}

}  // namespace
