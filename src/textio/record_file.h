#pragma once
// A sequential text file of records bound to a unit number. Records are read
// one at a time (with their line number) or written one at a time; the file
// can be rewound, and writing after a rewind replaces the rest of the file,
// which is how the setup file becomes the report.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "textio/directory.h"
#include "textio/unset_vector.h"

namespace orthaxis::textio {

class RecordFile {
 public:
  enum class Open {
    kExisting,  // the file must exist; it is read from its start
    kReplace,   // created when missing, emptied when present
  };

  RecordFile() = default;
  RecordFile(int unit, std::string path, Open how);
  // The file `name` of the run's directory; messages name it as given.
  RecordFile(int unit, const Directory& dir, std::string name, Open how);
  // A file written anew at `os_path`, which messages name `name`.
  RecordFile(int unit, std::string name, const std::string& os_path);
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  RecordFile(RecordFile&& other) noexcept;
  // Closes this file first (see close()), then takes over the other one.
  RecordFile& operator=(RecordFile&& other);
  ~RecordFile();

  bool is_open() const { return file_ != nullptr; }
  int unit() const { return unit_; }
  // The name the file was opened by, as messages give it.
  const std::string& path() const { return path_; }

  // The next record without its line end (LF or CRLF); false at end of file.
  // The view stays valid until the next call on this file.
  bool next_record(std::string_view& record);
  // Line number of the record last returned by next_record (1-based).
  std::int64_t line() const { return line_; }
  // Bytes taken by the records read since the file was opened or rewound.
  std::uint64_t bytes_read() const { return consumed_; }

  // Where the next record starts, to come back to with seek() while reading.
  struct Position {
    std::uint64_t offset = 0;  // bytes before the record
    std::int64_t line = 0;     // records before it
  };
  Position tell() const { return {consumed_, line_}; }
  // Reading resumes at a position taken by tell() on this file.
  void seek(const Position& at);

  // Writes one record followed by LF.
  void write(std::string_view record);
  // Writes records that each end with LF, as write() one after another.
  void write_records(std::string_view records);
  void rewind();
  // Writes the pending records and closes the file; a failure of either is an
  // IoError. Closing a closed file does nothing.
  void close();

 private:
  bool fill();
  void flush_output();
  void start_writing();
  void make_room(std::size_t more);

  int unit_ = 0;
  std::string path_;     // as messages name it
  std::string os_path_;  // as the process reaches it
  std::FILE* file_ = nullptr;
  bool writing_ = false;
  std::int64_t line_ = 0;
  std::uint64_t consumed_ = 0;  // bytes of the file taken by records read so far
  UnsetVector<char> in_;  // bytes written by each read before they are looked at
  std::size_t in_begin_ = 0, in_end_ = 0;
  bool eof_ = false;
  std::string out_;
};

}  // namespace orthaxis::textio
