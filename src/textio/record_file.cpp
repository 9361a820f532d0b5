#include "textio/record_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "textio/io_error.h"

namespace orthaxis::textio {

namespace {
constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kFlushAt = 1 << 20;
constexpr std::size_t kSmallOutput = 1 << 16;

std::string system_reason() { return errno != 0 ? std::strerror(errno) : "input/output error"; }
}  // namespace

RecordFile::RecordFile(int unit, std::string path, Open how)
    : RecordFile(unit, Directory(), std::move(path), how) {}

RecordFile::RecordFile(int unit, const Directory& dir, std::string name, Open how)
    : unit_(unit), path_(std::move(name)), os_path_(dir.path(path_)) {
  errno = 0;
  file_ = std::fopen(os_path_.c_str(), how == Open::kExisting ? "rb" : "wb");
  if (file_ == nullptr) {
    std::string reason = errno != 0 ? system_reason() : "cannot open file";
    throw IoError(reason, "OPEN", unit_, path_);
  }
  writing_ = how == Open::kReplace;
}

RecordFile::RecordFile(int unit, std::string name, const std::string& os_path)
    : unit_(unit), path_(std::move(name)), os_path_(os_path) {
  errno = 0;
  file_ = std::fopen(os_path_.c_str(), "wb");
  if (file_ == nullptr)
    throw IoError(errno != 0 ? system_reason() : "cannot open file", "OPEN", unit_, path_);
  writing_ = true;
}

RecordFile::RecordFile(RecordFile&& other) noexcept
    : unit_(other.unit_),
      path_(std::move(other.path_)),
      os_path_(std::move(other.os_path_)),
      file_(std::exchange(other.file_, nullptr)),
      writing_(other.writing_),
      line_(other.line_),
      consumed_(other.consumed_),
      in_(std::move(other.in_)),
      in_begin_(other.in_begin_),
      in_end_(other.in_end_),
      eof_(other.eof_),
      out_(std::move(other.out_)) {}

RecordFile& RecordFile::operator=(RecordFile&& other) {
  if (this != &other) {
    // The file being replaced is closed like any other: its pending records
    // are written and a failure is reported, not dropped.
    close();
    unit_ = other.unit_;
    path_ = std::move(other.path_);
    os_path_ = std::move(other.os_path_);
    file_ = std::exchange(other.file_, nullptr);
    writing_ = other.writing_;
    line_ = other.line_;
    consumed_ = other.consumed_;
    in_ = std::move(other.in_);
    in_begin_ = other.in_begin_;
    in_end_ = other.in_end_;
    eof_ = other.eof_;
    out_ = std::move(other.out_);
  }
  return *this;
}

RecordFile::~RecordFile() {
  // Every run that ends normally or on an analysis stop has closed its files
  // with close(); a file still open here belongs to a run that is already
  // failing, so a second failure has nobody to be reported to.
  if (file_ == nullptr) return;
  if (!out_.empty()) std::fwrite(out_.data(), 1, out_.size(), file_);
  std::fclose(file_);
}

bool RecordFile::fill() {
  if (eof_) return false;
  if (in_begin_ > 0) {
    std::memmove(in_.data(), in_.data() + in_begin_, in_end_ - in_begin_);
    in_end_ -= in_begin_;
    in_begin_ = 0;
  }
  if (in_.size() - in_end_ < kChunk) in_.resize(in_end_ + kChunk);
  std::size_t got = std::fread(in_.data() + in_end_, 1, in_.size() - in_end_, file_);
  if (got == 0) {
    if (std::ferror(file_)) throw IoError(system_reason(), "READ", unit_, path_, line_ + 1);
    eof_ = true;
    return false;
  }
  in_end_ += got;
  return true;
}

bool RecordFile::next_record(std::string_view& record) {
  if (file_ == nullptr) throw IoError("file is not open", "READ", unit_, path_);
  if (writing_) {
    // Reading after writing: the next record is the end of the file.
    record = {};
    return false;
  }
  std::size_t scan_from = in_begin_;
  for (;;) {
    const char* base = in_.data();
    const void* nl = in_end_ > scan_from
                         ? std::memchr(base + scan_from, '\n', in_end_ - scan_from)
                         : nullptr;
    if (nl != nullptr) {
      std::size_t end = static_cast<const char*>(nl) - base;
      std::size_t len = end - in_begin_;
      consumed_ += len + 1;
      if (len > 0 && base[end - 1] == '\r') --len;
      record = std::string_view(base + in_begin_, len);
      in_begin_ = end + 1;
      ++line_;
      return true;
    }
    std::size_t pending = in_end_ - in_begin_;
    if (!fill()) {
      if (in_end_ == in_begin_) {
        record = {};
        return false;
      }
      // A last line without a line end is a record.
      std::size_t len = in_end_ - in_begin_;
      consumed_ += len;
      const char* p = in_.data() + in_begin_;
      if (len > 0 && p[len - 1] == '\r') --len;
      record = std::string_view(p, len);
      in_begin_ = in_end_;
      ++line_;
      return true;
    }
    scan_from = in_begin_ + pending;
  }
}

void RecordFile::start_writing() {
  // Writing replaces everything after the records read so far.
  std::FILE* reading = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(reading) != 0) throw IoError(system_reason(), "WRITE", unit_, path_);
  std::error_code ec;
  std::filesystem::resize_file(os_path_, consumed_, ec);
  if (ec) throw IoError(ec.message(), "WRITE", unit_, path_);
  errno = 0;
  file_ = std::fopen(os_path_.c_str(), "r+b");
  if (file_ == nullptr || std::fseek(file_, 0, SEEK_END) != 0)
    throw IoError(system_reason(), "WRITE", unit_, path_);
  // The last record read may have had no line end; end it so that the first
  // record written does not run on from it.
  if (consumed_ > 0) {
    if (std::fseek(file_, -1, SEEK_END) != 0) throw IoError(system_reason(), "WRITE", unit_, path_);
    int last = std::fgetc(file_);
    if (std::ferror(file_) || std::fseek(file_, 0, SEEK_END) != 0)
      throw IoError(system_reason(), "WRITE", unit_, path_);
    if (last != '\n') out_.push_back('\n');
  }
  writing_ = true;
  in_.clear();
  in_begin_ = in_end_ = 0;
}

void RecordFile::make_room(std::size_t more) {
  // Records gather up to kFlushAt bytes, and one more append, before they
  // go to the file. Once a file's records outgrow a small buffer, the
  // buffer takes that room at once instead of growing step by step, each
  // step into fresh pages and with a copy; pages never written are never
  // touched. Small files keep a small buffer.
  const std::size_t need = out_.size() + more;
  if (need > out_.capacity() && need > kSmallOutput) out_.reserve(std::max(need, 2 * kFlushAt));
}

void RecordFile::write(std::string_view record) {
  if (file_ == nullptr) throw IoError("file is not open", "WRITE", unit_, path_);
  if (!writing_) start_writing();
  make_room(record.size() + 1);
  out_.append(record);
  out_.push_back('\n');
  if (out_.size() >= kFlushAt) flush_output();
}

void RecordFile::write_records(std::string_view records) {
  if (file_ == nullptr) throw IoError("file is not open", "WRITE", unit_, path_);
  if (!writing_) start_writing();
  make_room(records.size());
  out_.append(records);
  if (out_.size() >= kFlushAt) flush_output();
}

void RecordFile::flush_output() {
  if (out_.empty()) return;
  errno = 0;
  if (std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size())
    throw IoError(errno != 0 ? system_reason() : "write failed", "WRITE", unit_, path_);
  out_.clear();
}

void RecordFile::rewind() {
  if (file_ == nullptr) throw IoError("file is not open", "REWIND", unit_, path_);
  if (writing_) {
    flush_output();
    errno = 0;
    if (std::fflush(file_) != 0) throw IoError(system_reason(), "REWIND", unit_, path_);
  }
  std::FILE* old = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(old) != 0) throw IoError(system_reason(), "REWIND", unit_, path_);
  errno = 0;
  file_ = std::fopen(os_path_.c_str(), "rb");
  if (file_ == nullptr) throw IoError(system_reason(), "REWIND", unit_, path_);
  writing_ = false;
  line_ = 0;
  consumed_ = 0;
  in_begin_ = in_end_ = 0;
  eof_ = false;
}

void RecordFile::seek(const Position& at) {
  if (file_ == nullptr || writing_) throw IoError("file is not open for reading", "READ", unit_, path_);
  errno = 0;
  if (fseeko(file_, static_cast<off_t>(at.offset), SEEK_SET) != 0)
    throw IoError(system_reason(), "READ", unit_, path_, at.line + 1);
  in_begin_ = in_end_ = 0;
  eof_ = false;
  line_ = at.line;
  consumed_ = at.offset;
}

void RecordFile::close() {
  if (file_ == nullptr) return;
  if (writing_) flush_output();
  std::FILE* f = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(f) != 0) throw IoError(system_reason(), "CLOSE", unit_, path_);
}

}  // namespace orthaxis::textio
