#include "input/scratch_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "textio/io_error.h"
#include "textio/units.h"

namespace orthaxis::input {

namespace {
std::string reason() { return errno != 0 ? std::strerror(errno) : "input/output error"; }
}  // namespace

ScratchFile::ScratchFile(std::string path, const textio::Directory& dir)
    : path_(std::move(path)), os_path_(dir.path(path_)) {
  errno = 0;
  file_ = std::fopen(os_path_.c_str(), "w+b");
  if (file_ == nullptr) throw textio::IoError(reason(), "OPEN", textio::units::kScratch, path_);
  // The C library ignores a size given without a buffer and would move the
  // file 4 KB per call; a buffer of our own makes it 1 MB.
  buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
}

ScratchFile::~ScratchFile() {
  // Runs that end normally or on an analysis stop have closed the file; one
  // still open here belongs to a run that is already failing.
  if (file_ != nullptr) std::fclose(file_);
}

void ScratchFile::switch_direction(bool to_writing, const char* statement) {
  // Between writing and reading the stream needs a positioning call, which
  // also writes what is buffered.
  errno = 0;
  if (std::fseek(file_, 0, SEEK_CUR) != 0) throw textio::IoError(reason(), statement, textio::units::kScratch, path_);
  writing_ = to_writing;
}

void ScratchFile::write_row(std::span<const float> row) {
  if (!writing_) switch_direction(true, "WRITE");
  errno = 0;
  if (std::fwrite(row.data(), sizeof(float), row.size(), file_) != row.size())
    throw textio::IoError(reason(), "WRITE", textio::units::kScratch, path_);
}

void ScratchFile::read_row(std::span<float> row) {
  if (writing_) switch_direction(false, "READ");
  errno = 0;
  if (std::fread(row.data(), sizeof(float), row.size(), file_) != row.size()) {
    throw textio::IoError(std::ferror(file_) ? reason() : "Attempt to read past end of file",
                          "READ", textio::units::kScratch, path_);
  }
}

std::size_t ScratchFile::read_rows_at(std::size_t first, std::size_t count, std::size_t p,
                                      float* out, std::exception_ptr& failure) const {
  const std::size_t row_bytes = p * sizeof(float);
  const std::size_t want = count * row_bytes;
  char* const to = reinterpret_cast<char*>(out);
  std::size_t got = 0;
  while (got < want) {
    errno = 0;
    const ::ssize_t r = ::pread(::fileno(file_), to + got, want - got,
                                static_cast<::off_t>(first * row_bytes + got));
    if (r > 0) {
      got += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    failure = std::make_exception_ptr(textio::IoError(
        r < 0 ? reason() : "Attempt to read past end of file", "READ", textio::units::kScratch, path_));
    break;
  }
  return got / row_bytes;
}

void ScratchFile::rewind() {
  errno = 0;
  if (writing_ && std::fflush(file_) != 0) throw textio::IoError(reason(), "REWIND", textio::units::kScratch, path_);
  if (std::fseek(file_, 0, SEEK_SET) != 0) throw textio::IoError(reason(), "REWIND", textio::units::kScratch, path_);
  writing_ = false;
}

void ScratchFile::close() {
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(f) != 0) throw textio::IoError(reason(), "CLOSE", textio::units::kScratch, path_);
}

void ScratchFile::close_and_delete() {
  if (file_ == nullptr) return;
  close();
  std::error_code ec;
  std::filesystem::remove(os_path_, ec);
  if (ec) throw textio::IoError(ec.message(), "CLOSE", textio::units::kScratch, path_);
}

ScratchWriteBehind::ScratchWriteBehind(ScratchFile& file, std::size_t p,
                                       analysis::WorkerPool* pool)
    : file_(file), p_(p), pool_(pool != nullptr && pool->size() > 1 && p > 0 ? pool : nullptr) {
  if (pool_ == nullptr) return;
  block_rows_ = std::max<std::size_t>(1, (std::size_t{1} << 16) / p_);  // about 256 KB
  for (Block& b : blocks_) b.rows.resize(block_rows_ * p_);
}

ScratchWriteBehind::~ScratchWriteBehind() {
  if (writing_) {
    try {
      pool_->wait(writing_);
    } catch (...) {
      // Dropped: see the class comment.
    }
  }
}

void ScratchWriteBehind::write_row(std::span<const float> row) {
  if (pool_ == nullptr) {
    file_.write_row(row);
    return;
  }
  Block& b = blocks_[current_];
  std::copy(row.begin(), row.end(), b.rows.begin() + static_cast<std::ptrdiff_t>(b.count * p_));
  if (++b.count == block_rows_) hand_off();
}

void ScratchWriteBehind::hand_off() {
  if (writing_) pool_->wait(writing_);  // raises a failed write of the block before
  Block& b = blocks_[current_];
  if (b.count == 0) return;
  writing_ = pool_->start(1, [this, &b](std::size_t) {
    for (std::size_t k = 0; k < b.count; ++k)
      file_.write_row(std::span<const float>(b.rows.data() + k * p_, p_));
  });
  current_ ^= 1;
  blocks_[current_].count = 0;
}

void ScratchWriteBehind::settle() {
  if (pool_ == nullptr) return;
  hand_off();
  if (writing_) pool_->wait(writing_);
}

}  // namespace orthaxis::input
