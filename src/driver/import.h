#pragma once
// --import FILE.csv: a table with a header row (and row names) becomes the
// data file, the label files and the setup file of a working directory, so
// that the run can follow there. Everything is read and checked before the
// first file is written: a refused table leaves the directory untouched.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "driver/setup.h"
#include "input/csv_table.h"
#include "textio/io_error.h"

namespace orthaxis::driver {

// The names the import gives the files of the run.
inline constexpr const char* kImportData = "data.dat";
inline constexpr const char* kImportObjectScores = "objects.sco";
inline constexpr const char* kImportVariableScores = "variables.sco";
inline constexpr const char* kImportVariableLabels = "variables.lab";
inline constexpr const char* kImportObjectLabels = "objects.lab";
inline constexpr const char* kImportMatrix = "matrix.mat";

struct ImportSummary {
  std::int64_t objects = 0;
  std::int64_t variables = 0;
  std::int64_t missing = 0;
  bool object_names = false;
  std::int64_t supplementary_objects = 0, supplementary_variables = 0, qualitative = 0;
  std::vector<std::string> notices;  // columns read as qualitative, for standard error
};

// Reads options.import_file (relative to the current directory), checks it
// for options.analysis and writes the run's files into options.dir (created
// when missing; empty: the current directory). What the program cannot take
// from the table or the directory is a SetupError; a file that cannot be
// read or written is a textio::IoError, told by import_failure().
// `before_writing` is called once the directory exists and before anything
// in it is changed (the command takes the directory's lock there).
ImportSummary import_table(const Options& options,
                           const std::function<void()>& before_writing = {});

// The line for standard error when the import cannot read the table or
// write one of its files.
std::string import_failure(const textio::IoError& e);

// Refuses a value the analysis cannot take: a negative value for the PCA
// types (the data file marks a missing value by a negative number), a missing
// or negative value for correspondence analysis. Returns the missing count.
std::int64_t check_for_analysis(const input::CsvTable& table, ImportAnalysis analysis);

// The setup for the table, and its file's text.
Setup setup_for_table(const input::CsvTable& table, const Options& options);
std::string import_setup(const input::CsvTable& table, const Options& options);

// The data file's text, handed to `sink` in pieces: a title, the counts, one
// line of values per object (a missing value written as -1).
void import_data(const input::CsvTable& table, const std::string& title,
                 const std::function<void(std::string_view)>& sink);

}  // namespace orthaxis::driver
