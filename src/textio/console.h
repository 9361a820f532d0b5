#pragma once
// The text console (standard output) with carriage control. Each record is
// written on a new line, except that a record beginning with "+" overprints
// the current line (the "+" is not shown). The line end of a record is
// written only when the next record starts, so the bytes in a pipe are
// deterministic: a later record is "\n" + record, an overprinting one
// "\r" + record; finish() writes the last "\n".

#include <cstdio>
#include <string>
#include <string_view>

namespace orthaxis::textio {

class Console {
 public:
  explicit Console(std::FILE* out = stdout) : out_(out) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() { finish(); }

  void write(std::string_view record);
  // Records for which `keep` returns false are dropped from here on (a quiet
  // console); nullptr keeps every record.
  void keep_only(bool (*keep)(std::string_view record)) { keep_ = keep; }
  // Ends the last line and flushes; further records start a new run.
  void finish();

 private:
  void flush();
  std::FILE* out_;
  bool (*keep_)(std::string_view) = nullptr;
  bool any_ = false;
  std::string buffer_;
};

}  // namespace orthaxis::textio
