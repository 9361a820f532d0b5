#include "input/row_reader.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "textio/free_format.h"

namespace orthaxis::input {

namespace {
constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
}  // namespace

RowReader::RowReader(textio::RecordFile& data, std::size_t p, std::size_t rows,
                     analysis::WorkerPool* pool)
    : data_(data),
      p_(p),
      unread_(rows),
      pool_(pool != nullptr && p > 0 ? pool : nullptr) {
  if (pool_ == nullptr) return;
  // About 256 KB of values per chunk; several parts per thread.
  chunk_rows_ = std::clamp<std::size_t>((std::size_t{1} << 16) / p_, 8, 1024);
  parts_ = std::min(chunk_rows_, 4 * pool_->size());
  for (Chunk& c : chunks_) {
    c.values.resize(chunk_rows_ * p_);
    c.plain.resize(chunk_rows_);
    c.rest.resize(chunk_rows_);
    c.begin.reserve(chunk_rows_ + 1);
    c.at.reserve(chunk_rows_);
  }
}

RowReader::~RowReader() {
  // The pool must be done with the chunks before they go.
  for (Chunk& c : chunks_) {
    try {
      settle(c);
    } catch (...) {
      // Taking records and parsing them do not throw; nothing to hand on.
    }
  }
}

void RowReader::settle(Chunk& c) {
  if (!c.taking) return;
  std::exception_ptr failure;
  try {
    pool_->wait(c.taking);
  } catch (...) {
    failure = std::current_exception();
  }
  // The work that took the records has started their parsing.
  pool_->wait(c.parsing);
  if (failure) std::rethrow_exception(failure);
  unread_ -= c.records;
  bytes_read_ = c.bytes_read;
}

void RowReader::fill(Chunk& c) {
  c.records = c.used = 0;
  const std::size_t want = std::min(chunk_rows_, unread_);
  // Ahead of the queued work: the caller will soon wait for these records,
  // and only one piece of work takes records at a time.
  c.taking = pool_->start_first(1, [this, &c, want](std::size_t) { take(c, want); });
}

void RowReader::take(Chunk& c, std::size_t want) {
  c.text.clear();
  c.begin.assign(1, 0);
  c.at.clear();
  for (std::size_t k = 0; k < want; ++k) {
    const textio::RecordFile::Position at = data_.tell();
    std::string_view record;
    try {
      if (!data_.next_record(record)) break;
    } catch (...) {
      // A failing read: the statement of that row meets it again, in order.
      break;
    }
    c.text.append(record);
    c.begin.push_back(c.text.size());
    c.at.push_back(at);
    ++c.records;
    if (c.text.size() >= kChunkBytes) break;  // very long records: fewer per chunk
  }
  c.bytes_read = data_.bytes_read();
  if (c.records == 0) return;
  // Each record is followed by readable bytes: the next records, and
  // padding after the last.
  c.text.append(textio::kRecordPadding, ' ');
  const std::size_t parts = std::min(parts_, c.records);
  c.parsing = pool_->start(parts, [this, &c, parts](std::size_t part) {
    const std::size_t k0 = c.records * part / parts, k1 = c.records * (part + 1) / parts;
    for (std::size_t k = k0; k < k1; ++k) {
      const std::string_view record(c.text.data() + c.begin[k], c.begin[k + 1] - c.begin[k]);
      std::string_view rest;
      c.plain[k] =
          textio::read_plain_reals_padded(record, std::span<float>(c.values.data() + k * p_, p_),
                                          &rest);
      if (c.plain[k]) c.rest[k] = static_cast<std::size_t>(rest.data() - c.text.data());
    }
  });
}

void RowReader::drop_read_ahead() {
  Chunk& c = chunks_[current_];
  Chunk& next = chunks_[current_ ^ 1];
  settle(next);  // the file is the caller's again
  unread_ += (c.records - c.used) + next.records;
  c.records = c.used;
  next.records = next.used = 0;
}

std::string_view RowReader::read(std::span<float> row) {
  const Row r = next(row);
  if (r.values.data() != row.data()) std::memcpy(row.data(), r.values.data(), p_ * sizeof(float));
  last_ = nullptr;
  return r.rest;
}

void RowReader::keep_last(std::span<float> row) {
  if (last_ == nullptr) return;
  std::memcpy(row.data(), last_, p_ * sizeof(float));
  last_ = nullptr;
}

RowReader::Row RowReader::next(std::span<float> row) {
  if (pool_ == nullptr) return {row, read_statement(row)};
  if (chunks_[current_].used == chunks_[current_].records) {
    // The chunk the last row lies in is about to be refilled.
    keep_last(row);
    current_ ^= 1;
    Chunk& c = chunks_[current_];
    if (!c.taking) fill(c);  // nothing read ahead: the start, or after a plain statement
    settle(c);
    // The other chunk's rows are used. Once every row is taken nothing reads
    // on, so the file is the caller's again from the last row on.
    Chunk& other = chunks_[current_ ^ 1];
    other.records = other.used = 0;
    if (c.records > 0 && unread_ > 0) fill(other);
  }
  Chunk& c = chunks_[current_];
  if (c.used < c.records && c.plain[c.used]) {
    const std::size_t k = c.used++;
    last_ = c.values.data() + k * p_;
    line_ = c.at[k].line + 1;
    return {std::span<const float>(last_, p_),
            std::string_view(c.text.data() + c.rest[k], c.begin[k + 1] - c.rest[k])};
  }
  // This row needs the read statement as it stands, from its first record
  // on, over the values of the row before.
  keep_last(row);
  if (c.used < c.records) {
    const textio::RecordFile::Position at = c.at[c.used];
    ++c.used;
    drop_read_ahead();
    data_.seek(at);
  }
  else if (unread_ > 0) {
    // No record could be taken ahead: the file stands at the row's first
    // record, at its end or at a record that could not be read.
    --unread_;
  }
  return {row, read_statement(row)};
}

std::string_view RowReader::read_statement(std::span<float> row) {
  const std::string_view rest = textio::read_reals(data_, row);
  line_ = data_.line();
  return rest;
}

}  // namespace orthaxis::input
