// What a failing read tells a person: the field's place on its line and its
// text, the statement's unread rest, and the located message built from them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace {

namespace tio = orthaxis::textio;

class LocatedRead : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("orthaxis_located_" + std::string(info->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  tio::RecordFile open(const std::string& bytes) {
    const std::string path = (dir_ / "us.dat").string();
    std::ofstream(path, std::ios::binary) << bytes;
    return tio::RecordFile(1, path, tio::RecordFile::Open::kExisting);
  }
  std::filesystem::path dir_;
};

struct BadField {
  const char* bytes;      // one read of three reals
  std::int64_t line, field;
  const char* text;
  const char* reason;
};

TEST_F(LocatedRead, AFailingFieldIsNamedByItsPlaceOnItsLineAndItsText) {
  const BadField cases[] = {
      {"x y z\n", 1, 1, "x", tio::kIllegalChar},
      {"1 NA 3\n", 1, 2, "NA", tio::kIllegalChar},
      {"1,,NA\n", 1, 2, "NA", tio::kIllegalChar},          // a null is not a field
      {"1\n2\t 3;4\n", 2, 2, "3;4", tio::kIllegalChar},   // the field on its own line
      {"1 2 0*4\n", 1, 3, "0*4", tio::kIllegalRepeat},
      {"1 2*x 3\n", 1, 2, "2*x", tio::kIllegalChar},
      {"1 1e39 3\n", 1, 2, "1e39", tio::kRealOverflow},
      {"1.5 2.25 1.2345678901234567890123\n", 0, 0, "", nullptr},  // long values still read
  };
  for (const BadField& c : cases) {
    SCOPED_TRACE(c.bytes);
    tio::RecordFile f = open(c.bytes);
    std::vector<float> row(3);
    try {
      tio::read_reals(f, row);
      EXPECT_EQ(c.reason, nullptr);
    } catch (const tio::IoError& e) {
      ASSERT_NE(c.reason, nullptr);
      EXPECT_EQ(e.reason(), c.reason);
      EXPECT_EQ(e.record(), c.line);
      EXPECT_EQ(e.field(), c.field);
      EXPECT_EQ(e.text(), c.text);
    }
  }
}

TEST_F(LocatedRead, IntegerReadsAreLocatedToo) {
  tio::RecordFile f = open("12 3 4 5 6 7\n99999999999\n");
  std::vector<std::int32_t> items(7);
  try {
    tio::read_ints(f, items);
    FAIL();
  } catch (const tio::IoError& e) {
    EXPECT_EQ(e.reason(), tio::kIntegerOverflow);
    EXPECT_EQ(e.record(), 2);
    EXPECT_EQ(e.field(), 1);
    EXPECT_EQ(e.text(), "99999999999");
  }
}

TEST_F(LocatedRead, TheReadReturnsWhatItLeftOnItsLastLine) {
  struct Case {
    const char* bytes;
    const char* rest;
    std::int64_t fields;
  };
  const Case cases[] = {
      {"1 2\n", "", 0},
      {"1 2   \n", "   ", 0},
      {"1 2,\n", ",", 0},
      {"1,5 2,5\n", " 2,5", 2},  // decimal commas: two values left
      {"1\n2 3 4\n", " 3 4", 2},
      {"1 / 7 8\n", "", 0},      // a slash ends the statement on purpose
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    tio::RecordFile f = open(c.bytes);
    std::vector<float> row(2);
    const std::string_view rest = tio::read_reals(f, row);
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(tio::count_fields(rest), c.fields);
  }
}

struct Message {
  tio::IoError error;
  const char* expected;
};

tio::IoError located(const char* reason, std::int64_t line, std::int64_t field, std::string text) {
  tio::IoError e(reason, "READ", 1, "us.dat", line);
  e.locate(field, std::move(text));
  return e;
}

// The causes a data file gives (header row, NA, semicolons, a short file) are
// checked end to end; here the rest.
TEST(LocatedMessage, NamesFileLineFieldTextAndCauseThenTheStatement) {
  const Message cases[] = {
      {located(tio::kIllegalChar, 4, 3, "1.2.3"),
       "us.dat, line 4, field 3: \"1.2.3\" is not a number [READ error on unit 1]"},
      {located(tio::kIllegalChar, 4, 1, "0123456789012345678901234"),
       "us.dat, line 4, field 1: \"01234567890123456789...\" is not a number [READ error on unit 1]"},
      {located(tio::kIllegalRepeat, 2, 5, "0*3"),
       "us.dat, line 2, field 5: \"0*3\" is not a repeat count (r*value repeats a value r "
       "times, r at least 1) [READ error on unit 1]"},
      {tio::IoError(tio::kPastEnd, "READ", 1, "us.dat", 12),
       "us.dat, line 12: the file ends before all values are read [READ error on unit 1]"},
      {tio::IoError("No such file or directory", "OPEN", 1, "us.dat"),
       "us.dat: cannot be opened: No such file or directory [OPEN error on unit 1]"},
  };
  for (const Message& c : cases) EXPECT_EQ(tio::located_message(c.error), c.expected);
}

TEST(LocatedMessage, TheFrontEndsLineStaysAsItWas) {
  const tio::IoError e = located(tio::kIllegalChar, 5, 2, "NA");
  EXPECT_STREQ(e.what(),
               "READ error on unit 1, file \"us.dat\", record 5: Illegal character in numeric input");
}

}  // namespace
