// The setup file as the import writes it and the run reads it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "driver/setup.h"
#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/record_file.h"
#include "textio/units.h"

namespace orthaxis::driver {
namespace {

RunValues values(std::int32_t rows, std::int32_t columns, std::int32_t type, std::int32_t q,
                 std::int32_t scaling, std::int32_t printout, std::int32_t orientation) {
  RunValues v;
  v.rows = rows;
  v.columns = columns;
  v.analysis_type = type;
  v.matrix_option = 2;
  v.components = q;
  v.coa_scaling = scaling;
  v.object_labels = 3;
  v.variable_labels = 1;
  v.printout = printout;
  v.variable_score_option = 2;
  v.object_score_norm = 1;
  v.orientation = orientation;
  return v;
}

// Each setup read back from its file equals what was written, the names as
// the reader's blank-padded fields.
TEST(SetupFile, WhatIsWrittenReadsBackTheSame) {
  const driver::Setup cases[] = {
      {values(150, 4, 3, 2, 0, 1, 1),
       {"iris.dat", "iris.sco", "iris.vsc", "iris.lab", "", "iris.mat"}},
      {values(INT_MAX, 1, 4, 0, 2, 0, -7), {"a b", "o", "v", "vl", "ol", "m"}},
      {values(1, INT_MAX, 1, INT_MAX, 0, -1, 2),
       {"d   ", "dir/o.sco", "v", "", "", std::string(kNameLength, 'x')}},
  };
  const auto dir = std::filesystem::temp_directory_path() /
                   ("orthaxis_setup_file_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "ORTHAXIS.ST$").string();
  for (const driver::Setup& written : cases) {
    SCOPED_TRACE(setup_text(written));
    write_setup(path, written);
    textio::RecordFile file(textio::units::kSetup, path, textio::RecordFile::Open::kExisting);
    driver::Setup expected = written;
    for (std::string* name : {&expected.names.data, &expected.names.object_scores,
                              &expected.names.variable_scores, &expected.names.variable_labels,
                              &expected.names.object_labels, &expected.names.matrix})
      *name = textio::fixed_text(*name, kNameLength);
    EXPECT_EQ(read_setup(file), expected);
  }
  std::filesystem::remove_all(dir);
}

TEST(SetupFile, AFailedWriteIsAnIoErrorOnTheSetupUnit) {
  try {
    write_setup("/dev/full", {values(1, 1, 1, 1, 0, 0, 1), {"d", "o", "v", "vl", "ol", "m"}});
    ADD_FAILURE() << "no failure";
  } catch (const textio::IoError& e) {
    EXPECT_EQ(e.unit(), textio::units::kSetup);
    EXPECT_EQ(e.file(), "/dev/full");
  }
}

}  // namespace
}  // namespace orthaxis::driver
