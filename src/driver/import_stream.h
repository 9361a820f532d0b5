#pragma once
// The import of a table read in blocks: the table is never held whole. A
// first reading splits the text into blocks of whole records, parses them on
// the worker pool and takes them in order on the calling thread, which finds
// what the whole-table reader finds (the columns of texts, whether the rows
// have names, the first refusal) and keeps only the labels and the
// supplementary parts. A second reading of the same blocks writes the data
// file's rows, each block edited on the pool and written in order. The
// outcome is that of input::parse_csv, split_table and check_for_analysis on
// the whole text, byte for byte.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "input/supplementary_files.h"

namespace orthaxis::driver {

// Knobs for tests: the bytes read at a time (a block holds at least one
// whole record), and the whole-table reading instead of the blocks.
struct ImportTuning {
  std::size_t block_bytes = std::size_t{1} << 20;
  bool whole_table = false;
};
ImportTuning& import_tuning();

class StreamedImport {
 public:
  // Reads and checks options.import_file (named `file` in messages) with
  // `threads` threads. Refusals are SetupErrors, a file that cannot be read
  // an IoError.
  StreamedImport(const Options& options, const std::string& file, std::size_t threads);
  ~StreamedImport();

  std::int64_t rows() const;     // active objects
  std::int64_t columns() const;  // active variables
  std::int64_t missing() const;
  bool object_names() const;
  const std::vector<std::string>& variables() const;  // active
  const std::vector<std::string>& objects() const;    // active; empty without names
  const input::SupplementaryData& supplementary() const;
  const std::vector<std::string>& notices() const;

  // Reads the table again and hands the data file's rows to `sink` in order,
  // in pieces of whole lines.
  void write_rows(const std::function<void(std::string_view)>& sink) const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace orthaxis::driver
