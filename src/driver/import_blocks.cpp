// The streamed import's block reader: where the last whole record of what
// was read ends, and the file handed out in blocks that end there.

#include "driver/import_blocks.h"

#include <algorithm>
#include <cerrno>

#include "textio/io_error.h"
#include "textio/units.h"

namespace orthaxis::driver::import_detail {

// Where the last record of `b` ends (0: no record ends there). A quote
// opens a quoted field only at the start of a field, as the splitter has it;
// a CR at the very end may be the first half of a CRLF not yet read.
std::size_t last_record_end(std::string_view b, char sep) {
  const std::size_t n = b.size();
  if (std::memchr(b.data(), '"', n) == nullptr) {
    for (std::size_t k = n; k-- > 0;) {
      if (b[k] == '\n') return k + 1;
      if (b[k] == '\r' && k + 1 < n) return k + 1;  // b[k + 1] is not LF: it would have been found
    }
    return 0;
  }
  std::size_t i = 0, cut = 0;
  bool field_start = true;
  while (i < n) {
    const char c = b[i];
    if (field_start && c == '"') {
      for (++i;; ++i) {
        if (i >= n) return cut;
        if (b[i] != '"') continue;
        if (i + 1 >= n) return cut;  // a closing quote or the first of a pair: not known yet
        if (b[i + 1] == '"') {
          ++i;
          continue;
        }
        break;
      }
      ++i;
      field_start = false;
      continue;
    }
    ++i;
    if (c == sep) {
      field_start = true;
    } else if (c == '\n') {
      cut = i;
      field_start = true;
    } else if (c == '\r') {
      if (i >= n) return cut;
      if (b[i] == '\n') ++i;
      cut = i;
      field_start = true;
    } else {
      field_start = false;
    }
  }
  return cut;
}

BlockReader::BlockReader(const std::string& path, char separator, std::size_t block_bytes)
    : path_(path), sep_(separator), block_(std::max<std::size_t>(block_bytes, 1)) {
  f_ = std::fopen(path.c_str(), "rb");
  if (f_ == nullptr)
    throw textio::IoError(std::strerror(errno), "OPEN", textio::units::kImportTable, path);
  read(std::max<std::size_t>(block_, 3));
  if (std::string_view(buf_).starts_with("\xEF\xBB\xBF")) {
    buf_.erase(0, 3);
    offset_ = 3;
  }
}

BlockReader::~BlockReader() { std::fclose(f_); }

bool BlockReader::next(Chunk& c) {
  for (bool fresh = first_;; fresh = false) {
    if (!fresh && !eof_) read(block_);
    first_ = false;
    const std::size_t cut = eof_ ? buf_.size() : last_record_end(buf_, sep_);
    if (cut > 0) {
      // The block takes the buffer; the start of the next record stays.
      std::string tail(buf_, cut);
      buf_.resize(cut);
      c.text.swap(buf_);
      buf_.swap(tail);
      c.offset = offset_;
      offset_ += cut;
      return true;
    }
    if (eof_) return false;
  }
}

void BlockReader::read(std::size_t bytes) {
  const std::size_t had = buf_.size();
  if (buf_.capacity() < had + bytes) buf_.reserve(had + bytes + bytes / 8);
  buf_.resize(had + bytes);
  const std::size_t got = std::fread(buf_.data() + had, 1, bytes, f_);
  buf_.resize(had + got);
  if (got < bytes) {
    if (std::ferror(f_) != 0)
      throw textio::IoError(std::strerror(errno), "READ", textio::units::kImportTable, path_);
    eof_ = true;
  }
}

}  // namespace orthaxis::driver::import_detail
