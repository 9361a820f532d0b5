#pragma once
// The text console (standard output) with carriage control. Each record is
// written on a new line, except that a record beginning with "+" overprints
// the current line (the "+" is not shown). The line end of a record is
// written only when the next record starts, so the bytes in a pipe are
// deterministic: a later record is "\n" + record, an overprinting one
// "\r" + record; finish() writes the last "\n".
//
// Records are buffered, and the buffer is sent on at once after an
// overprinting (progress) record, after every record when the console is a
// terminal, when the driver begins a long phase (flush()), and when it fills.
//
// The console is a view of the run, not its product: the files are. A console
// that cannot be written (standard output closed, a full device, a pipe whose
// reader has gone away) therefore never stops the run, and its write errors
// are ignored on purpose.

#include <cstdio>
#include <string>
#include <string_view>

namespace orthaxis::textio {

class Console {
 public:
  // Sends every record on at once when `out` is a terminal.
  explicit Console(std::FILE* out = stdout);
  Console(std::FILE* out, bool every_record) : out_(out), every_record_(every_record) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() { finish(); }

  void write(std::string_view record);
  // Records that each end with LF, as write() one after another.
  void write_records(std::string_view records);
  // Sends the buffered records on now (the current line stays open).
  void flush();
  // Records for which `keep` returns false are dropped from here on (a quiet
  // console); nullptr keeps every record.
  void keep_only(bool (*keep)(std::string_view record)) { keep_ = keep; }
  // Ends the last line and flushes; further records start a new run.
  void finish();

 private:
  std::FILE* out_;
  bool (*keep_)(std::string_view) = nullptr;
  bool every_record_ = false;
  bool any_ = false;
  std::string buffer_;
};

// Makes standard output safe for the console before anything else is opened:
// a standard stream that the caller left closed is opened on the null device,
// so that no file of the run can take its number and receive console lines;
// and a reader that goes away makes writes fail instead of ending the
// process (SIGPIPE is ignored).
void prepare_standard_streams();

}  // namespace orthaxis::textio
