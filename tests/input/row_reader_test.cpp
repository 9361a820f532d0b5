// Rows read ahead on a pool must be, row for row, what one read statement per
// row gives: the same values (bit for bit, including items a statement leaves
// unchanged), the same failure at the same row with the same message and
// record number, the same record number for each row, and the file left
// where the statements leave it.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "analysis/worker_pool.h"
#include "input/row_reader.h"
#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"

namespace orthaxis::input {
namespace {

using textio::RecordFile;

// What the data pass sees: per row the values (as bytes) or the failure, then
// the record that follows the rows.
std::vector<std::string> trace(const std::string& path, std::size_t p, std::size_t n,
                               std::size_t threads) {
  RecordFile data(1, path, RecordFile::Open::kExisting);
  analysis::WorkerPool pool(threads);
  RowReader reader(data, p, n, threads == 0 ? nullptr : &pool);
  std::vector<float> row(p, 7.0f);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < n; ++i) {
    try {
      if (threads == 0) {
        textio::read_reals(data, row);
      } else if (threads % 2 == 0) {
        // Rows where they lie; the statement rows must still start from the
        // row before.
        const RowReader::Row r = reader.next(row);
        out.emplace_back(reinterpret_cast<const char*>(r.values.data()), p * sizeof(float));
        out.back().append(" at line " + std::to_string(reader.line()));
        continue;
      } else {
        reader.read(row);
      }
    } catch (const textio::IoError& e) {
      std::string failure = "failure: ";
      failure.append(e.what());
      out.push_back(failure);
      return out;
    }
    out.emplace_back(reinterpret_cast<const char*>(row.data()), p * sizeof(float));
    out.back().append(" at line " + std::to_string(threads == 0 ? data.line() : reader.line()));
  }
  std::string_view after;
  std::string then = "then: ";
  then.append(data.next_record(after) ? after : std::string_view("(end)"));
  out.push_back(then);
  return out;
}

class RowReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = (std::filesystem::temp_directory_path() / ("orthaxis_rows_" + std::string(info->name())))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }

  // Every row of the file plain, with `special` records put in at their rows.
  void expect_as_statements(std::size_t p, std::size_t n,
                            const std::vector<std::pair<std::size_t, std::string>>& special,
                            std::size_t rows_to_read = 0) {
    std::mt19937 rng(static_cast<unsigned>(p * 31 + n));
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
      bool replaced = false;
      for (const auto& [at, record] : special) {
        if (at == i) {
          text.append(record);
          text.push_back('\n');
          replaced = true;
        }
      }
      if (replaced) continue;
      for (std::size_t j = 0; j < p; ++j) {
        text.push_back(' ');
        text.append(std::to_string(rng() % 100000));
        text.push_back('.');
        text.append(std::to_string(rng() % 1000));
      }
      text.push_back('\n');
    }
    text += "after the rows\n";
    std::ofstream(path_, std::ios::binary) << text;
    const std::size_t rows = rows_to_read ? rows_to_read : n;
    const auto want = trace(path_, p, rows, 0);
    for (std::size_t threads = 1; threads <= 4; ++threads) {
      const auto got = trace(path_, p, rows, threads);
      ASSERT_EQ(got.size(), want.size()) << threads << " threads";
      for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_TRUE(got[i] == want[i]) << threads << " threads, row " << i + 1 << ": " << got[i]
                                       << " / " << want[i];
    }
  }

  std::string path_;
};

TEST_F(RowReaderTest, PlainRowsOverManyChunks) {
  expect_as_statements(3, 5000, {});
  expect_as_statements(100, 2000, {});
}

TEST_F(RowReaderTest, RecordsThatNeedTheWholeStatement) {
  // Each case puts one awkward record among plain rows of three values.
  const std::vector<std::string> records = {
      "1.5 2.5",                      // the row goes on into the next record
      "1,,3",                         // a null value keeps the previous row's item
      ",2,3",                         // a leading comma is a null value too
      "1 2 / 9",                      // "/" ends the statement early
      "3*4.5",                        // a repeat count
      "2*, 8",                        // repeated nulls
      "1.5,2.5,3.5",                  // commas alone between values
      "1 2 3 trailing words",         // text after the row is skipped
      "1 2 3.000000000000000000001",  // a long field
      "1e-45 3.4028234e38 -0",        // extremes that still read
      "1\t2\t3\r",                    // tabs and a carriage return
      "",                             // an empty record
  };
  for (const std::string& r : records) {
    SCOPED_TRACE("record \"" + r + "\"");
    expect_as_statements(3, 3000, {{1500, r}, {1501, "4 5 6"}});
    expect_as_statements(3, 3000, {{0, r}});
    expect_as_statements(3, 3000, {{2048, r}});  // the first row of a chunk
  }
}

TEST_F(RowReaderTest, FailuresAtTheSameRowWithTheSameMessage) {
  for (const std::string& r : {std::string("1 x 3"), std::string("1 2 1e99"),
                               std::string("0*3 1 2")}) {
    SCOPED_TRACE("record \"" + r + "\"");
    expect_as_statements(3, 3000, {{2222, r}});
  }
  // The file ends before the last row.
  expect_as_statements(3, 3000, {}, 3002);
  expect_as_statements(4, 100, {{99, "1 2"}}, 100);
}

TEST(PlainReals, TheRestIsWhatFollowsTheLastValue) {
  struct Case {
    const char* record;
    bool plain;
    const char* rest;
  };
  const Case cases[] = {
      {"1 2 3", true, ""},         {"1 2 3   ", true, "   "},
      {" 1,2,3,4 5", true, ",4 5"}, {"1 2 3 words", true, " words"},
      {"1 2", false, ""},           {"1,,3", false, ""},
      {"1 2 3*1", false, ""},       {"1 2 /", false, ""},
  };
  for (const Case& c : cases) {
    float v[3];
    std::string_view rest = "unset";
    EXPECT_EQ(textio::read_plain_reals(c.record, v, &rest), c.plain) << c.record;
    if (c.plain) {
      EXPECT_EQ(rest, c.rest) << c.record;
    }
  }
}

}  // namespace
}  // namespace orthaxis::input
