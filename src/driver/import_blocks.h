#pragma once
// The streamed import's reading of the file: the file in blocks of whole
// records (BlockReader, on the last record end of what was read), the
// records of a block without quotes split as lines (LineSplitter, the same
// records RecordSplitter gives for such a text), and a refusal counted from
// the start of its block. Internal to the streamed import.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/worker_pool.h"
#include "input/csv_records.h"
#include "input/csv_table.h"

namespace orthaxis::driver::import_detail {

using input::CsvError;
using input::csv_detail::Field;
using input::csv_detail::Record;

constexpr float kMissing = input::CsvTable::kMissing;

// A refusal whose line is counted from the start of its block (0-based).
struct Refusal {
  std::string reason;
  std::int64_t line = 0;
  std::int64_t field = 0;
  std::string name;
  CsvError at(std::int64_t first_line) const {
    return CsvError(reason, line + first_line, field, name);
  }
};

// Blocks worked on the pool a few at a time and taken in the order they
// were started. Leaving it (a failure included) waits for the work still
// running, so what that work reads must be made before the window.
template <class Slot>
class OrderedWindow {
 public:
  OrderedWindow(analysis::WorkerPool& pool, std::size_t limit) : pool_(pool), limit_(limit) {}
  OrderedWindow(const OrderedWindow&) = delete;
  OrderedWindow& operator=(const OrderedWindow&) = delete;
  ~OrderedWindow() {
    for (Open& o : open_) {
      try {
        pool_.wait(o.handle);
      } catch (...) {
      }
    }
  }

  // Takes the oldest by take(slot) until fewer than the limit are open.
  template <class Take>
  void make_room(Take take) {
    while (open_.size() >= limit_) take_oldest(take);
  }
  // Starts work(slot) for `slot`.
  template <class Work>
  void launch(std::unique_ptr<Slot> slot, Work work) {
    Slot* s = slot.get();
    open_.push_back({std::move(slot), {}});
    open_.back().handle = pool_.start(1, [s, work](std::size_t) { work(*s); });
  }
  // Takes every open slot, oldest first.
  template <class Take>
  void drain(Take take) {
    while (!open_.empty()) take_oldest(take);
  }

 private:
  struct Open {
    std::unique_ptr<Slot> slot;
    analysis::WorkerPool::Handle handle;
  };
  template <class Take>
  void take_oldest(Take& take) {
    pool_.wait(open_.front().handle);
    take(*open_.front().slot);
    open_.pop_front();
  }

  analysis::WorkerPool& pool_;
  std::size_t limit_;
  std::deque<Open> open_;
};

// Where the last record of `b` ends (0: no record ends there).
std::size_t last_record_end(std::string_view b, char sep);

// The records of a text without quotes: lines, split at each separator;
// the same records and lines as RecordSplitter gives for such a text.
class LineSplitter {
 public:
  LineSplitter(std::string_view text, char separator) : t_(text), sep_(separator) {}

  bool next(Record& r) {
    const std::size_t n = t_.size();
    if (pos_ >= n) return false;
    r.line = line_;
    r.fields.clear();
    const char* const b = t_.data();
    std::size_t start = pos_;
    for (std::size_t i = pos_;; ++i) {
      if (i >= n) {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        pos_ = n;
        return true;
      }
      const char c = b[i];
      if (c == sep_) {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        start = i + 1;
        if (start >= n) {
          r.fields.push_back(Field{});  // a separator ends the text: one more empty field
          pos_ = n;
          return true;
        }
      } else if (c == '\n' || c == '\r') {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        pos_ = i + 1;
        if (c == '\r' && pos_ < n && b[pos_] == '\n') ++pos_;
        ++line_;
        return true;
      }
    }
  }
  std::int64_t line() const { return line_; }
  std::size_t position() const { return pos_; }
  // Past a record read otherwise, which ended at `pos` (after its line end).
  void skip_to(std::size_t pos, bool line_end) {
    pos_ = pos;
    if (line_end) ++line_;
  }
  std::string_view text() const { return t_; }

 private:
  std::string_view t_;
  char sep_;
  std::size_t pos_ = 0;
  std::int64_t line_ = 1;
};

inline bool has_quotes(std::string_view text) {
  return std::memchr(text.data(), '"', text.size()) != nullptr;
}

struct Chunk {
  std::string text;
  std::uint64_t offset = 0;  // in the file
};

// The file in blocks of whole records (the byte-order mark left out).
class BlockReader {
 public:
  BlockReader(const std::string& path, char separator, std::size_t block_bytes);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next block; false at the end of the file.
  bool next(Chunk& c);

 private:
  void read(std::size_t bytes);

  std::string path_;
  char sep_;
  std::size_t block_;
  std::FILE* f_ = nullptr;
  std::string buf_;
  std::uint64_t offset_ = 0;
  bool eof_ = false;
  bool first_ = true;
};

}  // namespace orthaxis::driver::import_detail
