#pragma once
// The scratch file T.TMP: one binary record of p single-precision values per
// object, in object order, written by the data pass and read back by every
// later pass over the objects. Deleted at the normal end, kept otherwise.

#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/worker_pool.h"
#include "textio/directory.h"

namespace orthaxis::input {

class ScratchFile {
 public:
  ScratchFile() = default;
  explicit ScratchFile(std::string path, const textio::Directory& dir = {});
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile();

  void write_row(std::span<const float> row);
  void read_row(std::span<float> row);
  // Rows first .. first + count - 1 (p values each) into out, read at their
  // place in the file without moving the stream, so that several threads can
  // read rows at once while nothing writes (after rewind()). Returns the rows
  // read whole; when that is fewer than count, `failure` holds what read_row
  // would have raised at the next row.
  std::size_t read_rows_at(std::size_t first, std::size_t count, std::size_t p, float* out,
                           std::exception_ptr& failure) const;
  void rewind();
  // Closes the file and keeps it (the end of a stopped run).
  void close();
  // Closes the file and removes it (the normal end).
  void close_and_delete();

 private:
  void switch_direction(bool to_writing, const char* statement);

  static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

  std::string path_;     // as messages name it
  std::string os_path_;  // as the process reaches it
  std::unique_ptr<char[]> buffer_;  // the stream's buffer: declared before file_, freed after it
  std::FILE* file_ = nullptr;
  bool writing_ = true;
};

// The data pass's rows for the scratch file, written behind the caller: rows
// are copied into a block, and a full block is written by the pool, row by
// row through write_row, while the caller gathers the next. The file gets
// the same writes in the same order as from the caller itself. A failing
// write is raised at the next full block or by settle(); the caller settles
// before it raises a failure of its own, so that a write that failed first
// is the one raised, as without the pool.
class ScratchWriteBehind {
 public:
  // Without a pool, or with a pool of one thread, every row is written at once.
  ScratchWriteBehind(ScratchFile& file, std::size_t p, analysis::WorkerPool* pool);
  ScratchWriteBehind(const ScratchWriteBehind&) = delete;
  ScratchWriteBehind& operator=(const ScratchWriteBehind&) = delete;
  // Waits for a block still being written (its failure is then dropped: the
  // caller is already on its way out by a failure, or has settled).
  ~ScratchWriteBehind();

  void write_row(std::span<const float> row);
  // Writes every row given so far; raises the first failing write.
  void settle();

 private:
  struct Block {
    std::vector<float> rows;
    std::size_t count = 0;
  };
  void hand_off();

  ScratchFile& file_;
  std::size_t p_;
  analysis::WorkerPool* pool_;
  std::size_t block_rows_ = 0;
  Block blocks_[2];
  std::size_t current_ = 0;
  analysis::WorkerPool::Handle writing_;
};

}  // namespace orthaxis::input
