#pragma once
// The rows of the data matrix for the data pass, read ahead on a pool of
// threads. The caller takes the rows in object order and gets, row after row,
// exactly what read_row gives: the same values and, at the same row, the same
// failure (message and record number).
//
// Records are taken from the file a chunk at a time by the pool, which then
// parses them, while the caller uses the current chunk; the caller touches
// the file only while no chunk is being taken. A record that holds its
// whole row in plain values (nearly every row of a data file) is parsed on its
// own; at any other record (a row over several records, a null value, a
// repeat count, "/", a field that is not a number, the end of the file) the
// rows read ahead are dropped, the file goes back to that record and the
// statement is read there as it stands.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "analysis/worker_pool.h"
#include "textio/record_file.h"

namespace orthaxis::input {

class RowReader {
 public:
  // `rows` rows of `p` values follow on `data`. Without a pool every row is
  // read by its own statement; with a pool of one thread the caller parses
  // each chunk when it reaches it.
  RowReader(textio::RecordFile& data, std::size_t p, std::size_t rows,
            analysis::WorkerPool* pool);
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;
  ~RowReader();

  // The next object's row (`row` keeps the previous row's values where the
  // statement leaves items unchanged). Returns what the statement left unread
  // on its last record (valid until the next read).
  std::string_view read(std::span<float> row);
  // read() without copying a row read ahead: its values where they lie (in
  // the chunk, or in `row` when the statement read them), valid until the
  // next read, which must be given the same `row`.
  struct Row {
    std::span<const float> values;
    std::string_view rest;
  };
  Row next(std::span<float> row);
  // The record number of the last record of the row just read.
  std::int64_t line() const { return line_; }
  // Bytes taken from the file so far, as far as the caller has seen them.
  std::uint64_t bytes_read() const { return pool_ == nullptr ? data_.bytes_read() : bytes_read_; }

 private:
  struct Chunk {
    std::string text;                                 // the records, one after another
    std::vector<std::size_t> begin;                   // record k: text[begin[k], begin[k + 1])
    std::vector<textio::RecordFile::Position> at;     // where record k starts in the file
    std::vector<float> values;                        // row k at k * p
    std::vector<char> plain;                          // record k alone holds row k
    std::vector<std::size_t> rest;                    // then the unread rest starts here
    std::size_t records = 0;
    std::size_t used = 0;
    std::uint64_t bytes_read = 0;                     // the file's count after the chunk
    analysis::WorkerPool::Handle taking, parsing;
  };
  // Starts taking up to `want` records from the file into `c`; the work
  // that takes them then starts parsing them.
  void fill(Chunk& c);
  void take(Chunk& c, std::size_t want);
  // Waits until `c` is taken and parsed; counts its records as taken.
  void settle(Chunk& c);
  // The row's read statement on the file as it stands.
  std::string_view read_statement(std::span<float> row);
  // Drops what was read ahead after the current record.
  void drop_read_ahead();
  // Puts the last row handed out where it lies into `row`.
  void keep_last(std::span<float> row);

  textio::RecordFile& data_;
  std::size_t p_;
  std::size_t unread_;  // rows whose records have not been taken from the file
  analysis::WorkerPool* pool_;
  std::size_t chunk_rows_ = 0;
  std::size_t parts_ = 1;
  Chunk chunks_[2];
  std::size_t current_ = 0;
  std::int64_t line_ = 0;
  std::uint64_t bytes_read_ = 0;
  const float* last_ = nullptr;  // the last row handed out in its chunk, not yet in `row`
};

}  // namespace orthaxis::input
