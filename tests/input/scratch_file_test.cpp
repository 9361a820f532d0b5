// The scratch file: every failure of the device reported rather than read
// back as zeros.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "input/scratch_file.h"
#include "textio/io_error.h"

namespace {

using orthaxis::analysis::WorkerPool;
using orthaxis::input::ScratchFile;
using orthaxis::input::ScratchWriteBehind;
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

// Rows written behind the caller reach the file whole and in order for any
// number of threads and rows (blocks of 655 rows of 100 values: one row, a
// block less one, two blocks and a part, more than the stream's 1 MB
// buffer), and a write that fails is raised.
TEST(ScratchWriteBehind, WritesEveryRowInOrderAndRaisesAFailedWrite) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "scratch_behind.tmp";
  const std::size_t p = 100;
  for (std::size_t threads : {1, 2, 3}) {
    WorkerPool pool(threads);
    for (std::size_t n : {1, 654, 1500, 3000}) {
      {
        ScratchFile file(path.string());
        ScratchWriteBehind behind(file, p, &pool);
        std::vector<float> row(p);
        for (std::size_t i = 0; i < n; ++i) {
          for (std::size_t j = 0; j < p; ++j) row[j] = static_cast<float>(i * p + j);
          behind.write_row(row);
        }
        behind.settle();
        file.rewind();
        for (std::size_t i = 0; i < n; ++i) {
          file.read_row(row);
          ASSERT_EQ(row[0], static_cast<float>(i * p)) << threads << " threads, row " << i;
          ASSERT_EQ(row[p - 1], static_cast<float>(i * p + p - 1));
        }
        EXPECT_THROW(file.read_row(row), IoError);  // nothing after the last row
        file.close_and_delete();
      }
    }
    // 4 MB to a device that fails every write reaching it.
    ScratchFile full("/dev/full");
    ScratchWriteBehind behind(full, p, &pool);
    const std::vector<float> row(p, 1.0f);
    try {
      for (int i = 0; i < 10000; ++i) behind.write_row(row);
      behind.settle();
      ADD_FAILURE() << threads << " threads: no failure raised";
    } catch (const IoError& e) {
      EXPECT_EQ(e.statement(), "WRITE");
    }
  }
}

}  // namespace
