#pragma once
// A file that a run or an import writes anew from its first byte: the
// tables, the pictures, and the data, label and setup files of an import.
// Every write and the close are checked; a failure is an IoError naming the
// unit and the file. The file is complete once close() has returned: where
// its bytes stand until then is this class's business, not its callers'.

#include <string>
#include <utility>
#include <string_view>

#include "textio/record_file.h"

namespace orthaxis::textio {

class OutputFile {
 public:
  // Creates the file, or empties it when present.
  OutputFile(int unit, std::string path)
      : file_(unit, std::move(path), RecordFile::Open::kReplace) {}
  // The file `name` of the directory `dir`, named as given in messages.
  OutputFile(int unit, const Directory& dir, std::string name)
      : file_(unit, dir, std::move(name), RecordFile::Open::kReplace) {}

  int unit() const { return file_.unit(); }
  const std::string& path() const { return file_.path(); }

  // Writes one record followed by LF.
  void write(std::string_view record) { file_.write(record); }
  // Writes text made of records that each end with LF, as it is.
  void write_records(std::string_view records) { file_.write_records(records); }
  // Writes what is pending and closes the file; closing twice does nothing.
  // A file never closed (its writer failed) is left as far as it got.
  void close() { file_.close(); }

 private:
  RecordFile file_;
};

}  // namespace orthaxis::textio
