#pragma once
// The run setup file ORTHAXIS.ST$: twelve integer run values read in one
// free-format statement, then six file names, one per line. The values are
// checked before anything else happens, so that a rejected setup file is left
// as it was.

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
};

// The six 100-character name fields, blank padded.
struct FileNames {
  std::string data, object_scores, variable_scores, variable_labels, object_labels, matrix;
};

// A setup value outside what the program can run with.
class SetupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the twelve run values (one free-format statement) and checks them.
RunValues read_run_values(textio::RecordFile& setup);
// Throws SetupError naming the first value out of range.
void validate(const RunValues& v);

// Values derived from the run values for the run-parameter block.
struct ParameterTexts {
  std::string analysis, object_labels, variable_labels, coa, matrix, printout, variable_scores,
      object_scores;
};
// Type 1 forces the score options to 0; then the table cells are chosen.
void apply_type_rules(RunValues& v);
ParameterTexts parameter_texts(const RunValues& v);

}  // namespace orthaxis::driver
