#pragma once
// A file that a run or an import writes anew from its first byte: the
// tables, the pictures, and the data, label and setup files of an import.
// Every write and the close are checked; a failure is an IoError naming the
// unit and the file. The bytes go to a temporary file in the same directory,
// which close() renames into place once complete (a device, a pipe or a
// symbolic link is written in place): until then a file of that
// name keeps what it held, and a writer that fails (or is killed) never
// leaves a file cut short under the final name. A writer that fails removes
// its temporary file; one that is killed leaves it, under a name that
// begins with ".orthaxis-".

#include <string>
#include <string_view>

#include "textio/record_file.h"

namespace orthaxis::textio {

class OutputFile {
 public:
  // The file `path`, reached from the process as given.
  OutputFile(int unit, std::string path);
  // The file `name` of the directory `dir`, named as given in messages.
  OutputFile(int unit, const Directory& dir, std::string name);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // A file never closed (its writer failed) is dropped: the temporary file
  // goes, the file of the final name is left as it was.
  ~OutputFile();

  int unit() const { return file_.unit(); }
  // The final name, as messages give it.
  const std::string& path() const { return file_.path(); }

  // Writes one record followed by LF.
  void write(std::string_view record) { file_.write(record); }
  // Writes text made of records that each end with LF, as it is.
  void write_records(std::string_view records) { file_.write_records(records); }
  // Writes what is pending, closes the file and renames it into place;
  // closing twice does nothing.
  void close();

 private:
  std::string final_;      // as the process reaches the file
  std::string temporary_;  // beside it; empty when written in place
  bool renamed_ = false;   // the temporary file is gone
  RecordFile file_;
};

}  // namespace orthaxis::textio
