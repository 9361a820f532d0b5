#pragma once
// The supplementary elements of a run, kept by an import beside the data
// file of the active part and read back by any run with options:
// - supplementary_objects.csv: index,label,<the active variables>; one row
//   per supplementary object (its row in the imported table, its name);
// - supplementary_variables.csv: index,label,<the numeric supplementary
//   variables>; one row per active object, in the data file's order;
// - qualitative.csv: index,label,<the qualitative variables>; one row per
//   active object, each cell the object's level (empty: none).
// Comma-separated, a header row, NA for a missing value, numbers written so
// that they read back as the same single-precision value.

#include <cstdint>
#include <string>
#include <vector>

#include "input/csv_table.h"
#include "textio/directory.h"

namespace orthaxis::input {

inline constexpr const char* kSupplementaryObjectsFile = "supplementary_objects.csv";
inline constexpr const char* kSupplementaryVariablesFile = "supplementary_variables.csv";
inline constexpr const char* kQualitativeFile = "qualitative.csv";
inline constexpr const char* kSupplementaryFiles[] = {
    kSupplementaryObjectsFile, kSupplementaryVariablesFile, kQualitativeFile};

struct SupplementaryData {
  // Objects: m rows of p values (CsvTable::kMissing for a missing value).
  std::vector<std::int64_t> object_index;
  std::vector<std::string> object_labels;
  std::vector<float> objects;
  // Numeric variables over the n active objects: n rows of s values.
  std::vector<std::string> variable_names;
  std::vector<float> variables;
  // Qualitative variables over the n active objects.
  std::vector<QualitativeColumn> qualitative;

  std::int64_t object_count() const { return static_cast<std::int64_t>(object_index.size()); }
  std::int64_t variable_count() const { return static_cast<std::int64_t>(variable_names.size()); }
  bool empty() const {
    return object_index.empty() && variable_names.empty() && qualitative.empty();
  }
};

// Which of the files `dir` holds.
bool has_supplementary_files(const textio::Directory& dir);

// Reads the files present in `dir` for a run of n objects and p variables.
// A file that does not fit them (another width or length) or cannot be read
// is a std::runtime_error whose message is one line naming the file.
SupplementaryData read_supplementary(const textio::Directory& dir, std::int64_t n,
                                     std::int64_t p);

// The texts of the three files (empty when there is nothing for a file);
// `active_labels` are the active objects' names (empty: numbered only).
struct SupplementaryTexts {
  std::string objects, variables, qualitative;
};
SupplementaryTexts supplementary_texts(const SupplementaryData& d,
                                       const std::vector<std::string>& active_labels,
                                       const std::vector<std::string>& active_variables);

}  // namespace orthaxis::input
