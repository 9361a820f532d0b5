// The scratch file: rows written, read back after a rewind, and every failure
// of the device reported rather than read back as zeros.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "input/scratch_file.h"
#include "textio/io_error.h"

namespace {

using orthaxis::input::ScratchFile;
using orthaxis::textio::IoError;

TEST(ScratchFileRows, RowsReadBackInOrderAfterARewindAndWritingResumesAfterReading) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("orthaxis_scratch_" + std::to_string(::getpid()) + ".tmp");
  ScratchFile s(path.string());
  std::vector<float> a = {1.5f, -2.0f}, b = {3.0f, 4.25f}, got(2);
  s.write_row(a);
  s.write_row(b);
  s.rewind();
  s.read_row(got);
  EXPECT_EQ(got, a);
  s.write_row(a);  // replaces the second row
  s.rewind();
  s.read_row(got);
  s.read_row(got);
  EXPECT_EQ(got, a);
  EXPECT_THROW(s.read_row(got), IoError);  // past the end
  s.close_and_delete();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ScratchFileFailures, AWriteThatCannotReachTheDeviceFailsTheNextSeekOrClose) {
  // /dev/full takes writes into the stream's buffer, fails them when they
  // reach the device, and reads as zeros.
  std::vector<float> row = {1.0f, 2.0f};
  {
    ScratchFile s("/dev/full");
    s.write_row(row);
    EXPECT_THROW(s.read_row(row), IoError);
  }
  {
    ScratchFile s("/dev/full");
    s.write_row(row);
    EXPECT_THROW(s.rewind(), IoError);
  }
  {
    ScratchFile s("/dev/full");
    s.write_row(row);
    EXPECT_THROW(s.close(), IoError);
  }
}

}  // namespace
