// The matrix file: title record, p, then each row of the lower triangle in
// "(8F10.3)" records.

#include "analysis/matrix_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/packed.h"
#include "textio/free_format.h"
#include "textio/record_file.h"

namespace orthaxis::analysis {
namespace {

class MatrixFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("orthaxis_matrix_file_" + std::string(info->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::vector<std::string> save(std::int32_t p, const std::vector<float>& a,
                                const std::string& title) {
    const std::string path = (dir_ / "matrix.txt").string();
    textio::RecordFile file(7, path, textio::RecordFile::Open::kReplace);
    write_matrix_file(file, title, p, a);
    EXPECT_FALSE(file.is_open());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> records;
    std::string cur;
    for (char c : bytes) {
      if (c == '\n') {
        records.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    EXPECT_TRUE(cur.empty());
    return records;
  }

  std::filesystem::path dir_;
};

const std::string kTitle = textio::fixed_text("Three soils", 100);

TEST_F(MatrixFile, ThreeVariablesGiveFiveRecords) {
  // A correlation matrix: 1.000 ends every row.
  const std::vector<float> a = {1.0f, 0.5f, 1.0f, -0.25f, 0.125f, 1.0f};
  auto rec = save(3, a, kTitle);
  ASSERT_EQ(rec.size(), 5u);
  EXPECT_EQ(rec[0], " Matrix from " + kTitle);
  EXPECT_EQ(rec[0].size(), 113u);
  ASSERT_FALSE(rec[1].empty());
  EXPECT_EQ(rec[1][0], ' ');
  EXPECT_EQ(std::strtol(rec[1].c_str(), nullptr, 10), 3);
  EXPECT_EQ(rec[2], "     1.000");
  EXPECT_EQ(rec[3], "      .500     1.000");
  EXPECT_EQ(rec[4], "     -.250      .125     1.000");
}

TEST_F(MatrixFile, RowsLongerThanEightValuesContinueOnFurtherRecords) {
  // Position k holds k, so the fields read back in order give 1 .. 55.
  std::vector<float> a(packed_length(10));
  for (std::size_t k = 0; k < a.size(); ++k) a[k] = static_cast<float>(k + 1);
  auto rec = save(10, a, kTitle);
  // Title, p, rows 1..8 in one record each, rows 9 and 10 in two each.
  ASSERT_EQ(rec.size(), 2u + 8u + 4u);
  EXPECT_EQ(std::strtol(rec[1].c_str(), nullptr, 10), 10);
  const std::size_t lengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 8, 1, 8, 2};
  std::vector<std::string> fields;
  for (std::size_t k = 0; k < 12; ++k) {
    const std::string& r = rec[k + 2];
    ASSERT_EQ(r.size(), 10 * lengths[k]) << "record " << k + 3 << ": '" << r << "'";
    for (std::size_t f = 0; f < r.size(); f += 10) fields.push_back(r.substr(f, 10));
  }
  ASSERT_EQ(fields.size(), 55u);
  for (std::size_t k = 0; k < 55; ++k) {
    char want[16];
    std::snprintf(want, sizeof want, "%10.3f", static_cast<double>(k + 1));
    EXPECT_EQ(fields[k], want) << k;
  }
  EXPECT_EQ(rec[10], "    37.000    38.000    39.000    40.000    41.000    42.000    43.000    44.000");
  EXPECT_EQ(rec[11], "    45.000");
  EXPECT_EQ(rec[13], "    54.000    55.000");
}

TEST_F(MatrixFile, ValuesTooWideForTheFieldAreAsterisks) {
  // 999999.000 just fits ten positions; 1234567.000 and -123456.000 do not.
  const std::vector<float> a = {999999.0f, 1234567.0f, -123456.0f};
  auto rec = save(2, a, kTitle);
  ASSERT_EQ(rec.size(), 4u);
  EXPECT_EQ(rec[2], "999999.000");
  EXPECT_EQ(rec[3], "**********" + std::string("**********"));
}

}  // namespace
}  // namespace orthaxis::analysis
