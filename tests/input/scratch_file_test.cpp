// The scratch file: every failure of the device reported rather than read
// back as zeros.

#include <gtest/gtest.h>

#include <vector>

#include "input/scratch_file.h"
#include "textio/io_error.h"

namespace {

using orthaxis::input::ScratchFile;
using orthaxis::textio::IoError;

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
