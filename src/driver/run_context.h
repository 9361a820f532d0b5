#pragma once
// What every step of a run reaches: the plan, the working directory, the
// report and console, the messages for a person and the worker threads; and
// the files that the run keeps open from their opening to the stop.

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/worker_pool.h"
#include "input/data_matrix.h"
#include "driver/plan.h"
#include "driver/setup.h"
#include "input/scratch_file.h"
#include "textio/console.h"
#include "textio/directory.h"
#include "textio/free_format.h"
#include "textio/messages.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::driver {

struct RunContext {
  const RunPlan& plan;
  const FileNames& names;  // the six 100-character fields of the setup
  const textio::Directory& dir;
  textio::Console& console;
  textio::Printer& print;
  textio::Messages& messages;
  analysis::WorkerPool& pool;
};

// The run's files by their part, each open from its opening until the stop.
struct RunFiles {
  textio::RecordFile setup;  // the setup file, then the report
  textio::RecordFile data;
  textio::RecordFile variable_scores;
  textio::RecordFile matrix;
  textio::RecordFile eigenvectors;
  textio::RecordFile object_scores;
  std::unique_ptr<input::ScratchFile> scratch;

  // Writes what is pending and closes every file but the scratch file.
  void close() {
    for (textio::RecordFile* f : {&setup, &data, &variable_scores, &matrix, &eigenvectors,
                                  &object_scores})
      f->close();
  }
};

// The data as the run settled it: title, objects and variables (after any
// transposition), and the setup's own rows and columns for the report.
struct DataShape {
  std::string title;
  std::int32_t n = 0, p = 0;
  std::int32_t setup_rows = 0, setup_columns = 0;
  input::ReadFindings findings;  // a person's run: what the transposition's reads left
};

// File names are 100-character fields; the name is the field without its
// trailing blanks.
inline std::string name_of(const std::string& field) {
  return std::string(textio::trim_right(field));
}

}  // namespace orthaxis::driver
