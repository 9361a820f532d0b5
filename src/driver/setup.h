#pragma once
// The run setup file ORTHAXIS.ST$: twelve integer run values read in one
// free-format statement, then six file names, one per line. The values are
// checked before anything else happens, so that a rejected setup file is left
// as it was. The import writes the file with write_setup.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "textio/record_file.h"

namespace orthaxis::driver {

inline constexpr std::size_t kNameLength = 100;

struct RunValues {
  std::int32_t rows = 0;                   // objects as stored in the data file
  std::int32_t columns = 0;                // variables as stored
  std::int32_t analysis_type = 0;          // 1 cross products, 2 covariances, 3 correlations, 4 CoA
  std::int32_t matrix_option = 0;          // 0 not saved, 1 or 2 saved (2 writes the file)
  std::int32_t components = 0;             // q, axes retained
  std::int32_t coa_scaling = 0;            // 0, 1, 2 (CoA only)
  std::int32_t object_labels = 0;          // 0 none, any other value: read
  std::int32_t variable_labels = 0;        // 0 none, 1 read
  std::int32_t printout = 0;               // 0 short, any other value detailed
  std::int32_t variable_score_option = 0;  // 0 correlations, 1 covariances, 2 eigenvectors
  std::int32_t object_score_norm = 0;      // 0 to lambda, 1 to unity
  std::int32_t orientation = 1;            // 1 rows are objects, otherwise columns are

  friend bool operator==(const RunValues&, const RunValues&) = default;
};

// The six 100-character name fields, blank padded.
struct FileNames {
  std::string data, object_scores, variable_scores, variable_labels, object_labels, matrix;

  friend bool operator==(const FileNames&, const FileNames&) = default;

  // The six fields in the order of the file.
  std::array<std::string*, 6> fields() {
    return {&data, &object_scores, &variable_scores, &variable_labels, &object_labels, &matrix};
  }
  std::array<const std::string*, 6> fields() const {
    return {&data, &object_scores, &variable_scores, &variable_labels, &object_labels, &matrix};
  }
};

// The whole setup file.
struct Setup {
  RunValues values;
  FileNames names;

  friend bool operator==(const Setup&, const Setup&) = default;
};

// A setup that the program cannot run with: a value out of range, names
// that clash, or a table or directory that the import cannot make one from.
class SetupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the twelve run values (one free-format statement) and checks them.
RunValues read_run_values(textio::RecordFile& setup);
// Throws SetupError naming the first value out of range.
void validate(const RunValues& v);
// Reads the six names that follow the values, one a line, each into a
// kNameLength field; name by name, so that a setup short of names leaves
// in `names` the ones read before the failure.
void read_file_names(textio::RecordFile& setup, FileNames& names);
FileNames read_file_names(textio::RecordFile& setup);
// The values, checked by validate() before the names are read.
Setup read_setup(textio::RecordFile& setup);

// The file's text: the twelve values on one line, one blank between them,
// then each name without its trailing blanks on a line of its own.
std::string setup_text(const Setup& s);
// Writes setup_text(s) into the file `path` (created or replaced).
void write_setup(const std::string& path, const Setup& s);

// Values derived from the run values for the run-parameter block.
struct ParameterTexts {
  std::string analysis, object_labels, variable_labels, coa, matrix, printout, variable_scores,
      object_scores;
};
// Type 1 forces the score options to 0; then the table cells are chosen.
void apply_type_rules(RunValues& v);
ParameterTexts parameter_texts(const RunValues& v);

}  // namespace orthaxis::driver
