#pragma once
// The scratch file T.TMP: one binary record of p single-precision values per
// object, in object order, written by the data pass and read back by every
// later pass over the objects. Deleted at the normal end, kept otherwise.

#include <cstdio>
#include <span>
#include <string>

namespace orthaxis::input {

class ScratchFile {
 public:
  static constexpr int kUnit = 3;

  ScratchFile() = default;
  explicit ScratchFile(std::string path);
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile();

  void write_row(std::span<const float> row);
  void read_row(std::span<float> row);
  void rewind();
  // Closes the file and keeps it (the end of a stopped run).
  void close();
  // Closes the file and removes it (the normal end).
  void close_and_delete();

 private:
  void switch_direction(bool to_writing, const char* statement);

  std::string path_;
  std::FILE* file_ = nullptr;
  bool writing_ = true;
};

}  // namespace orthaxis::input
