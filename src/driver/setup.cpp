#include "driver/setup.h"

#include <array>
#include <span>
#include <string_view>

#include "textio/free_format.h"
#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

// Text tables of the run-parameter block; cells are numbered from 1.
constexpr std::array<std::string_view, 8> kTypeTable = {
    "PCA FROM CROSS PRODUCTS",
    "PCA FROM COVARIANCES",
    "PCA FROM CORRELATIONS",
    "CORRESPONDENCE ANALYSIS",
    "CORRELATIONS OF VAR. WITH COMPONENTS",
    "COVARIANCES OF VAR. WITH COMPONENTS",
    "EIGENVECTORS AS COORDINATES OF VAR.",
    "NOT APPLICABLE",
};
constexpr std::array<std::string_view, 4> kScalingTable = {
    "OBJECTS AT CENTROID OF VARIABLES",
    " SYMMETRIC WEIGHTING",
    "VARIABLES AT CENTROID OF OBJECTS",
    " NOT APPLICABLE",
};
constexpr std::array<std::string_view, 3> kPrintoutTable = {"SHORT", "DETAILED", "DETAILED"};
constexpr std::array<std::string_view, 6> kSavingTable = {"NOT SAVED", "SAVED", "SAVED",
                                                          "NOT USED",  "USED",  "USED"};
constexpr std::array<std::string_view, 3> kObjectScoreTable = {
    "NORMALIZED TO LAMBDA", "NORMALIZED TO UNITY", "NOT APPLICABLE"};

template <std::size_t N>
std::string cell(const std::array<std::string_view, N>& table, int index, std::size_t width) {
  return textio::fixed_text(table.at(static_cast<std::size_t>(index - 1)), width);
}

// The values in the order of the file.
template <class Values>
auto value_fields(Values& v) {
  return std::array{&v.rows,          &v.columns,         &v.analysis_type,
                    &v.matrix_option, &v.components,      &v.coa_scaling,
                    &v.object_labels, &v.variable_labels, &v.printout,
                    &v.variable_score_option, &v.object_score_norm, &v.orientation};
}

void check(bool ok, const char* field, std::int32_t value, const char* allowed) {
  if (!ok) {
    throw SetupError(std::string("invalid setup value: ") + field + " = " +
                     std::to_string(value) + " (allowed: " + allowed + ")");
  }
}

}  // namespace

RunValues read_run_values(textio::RecordFile& setup) {
  std::array<std::int32_t, 12> raw{};
  textio::read_ints(setup, raw);
  RunValues v;
  const auto fields = value_fields(v);
  for (std::size_t k = 0; k < fields.size(); ++k) *fields[k] = raw[k];
  return v;
}

void read_file_names(textio::RecordFile& setup, FileNames& names) {
  for (std::string* name : names.fields()) *name = textio::read_text(setup, kNameLength);
}

FileNames read_file_names(textio::RecordFile& setup) {
  FileNames names;
  read_file_names(setup, names);
  return names;
}

Setup read_setup(textio::RecordFile& setup) {
  Setup s;
  s.values = read_run_values(setup);
  validate(s.values);
  s.names = read_file_names(setup);
  return s;
}

std::string setup_text(const Setup& s) {
  std::string text;
  for (const std::int32_t* value : value_fields(s.values)) {
    if (!text.empty()) text += ' ';
    text += std::to_string(*value);
  }
  text += '\n';
  for (const std::string* name : s.names.fields())
    text += std::string(textio::trim_right(*name)) + '\n';
  return text;
}

void write_setup(const std::string& path, const Setup& s) {
  textio::OutputFile file(textio::units::kSetup, path);
  file.write_records(setup_text(s));
  file.close();
}

void validate(const RunValues& v) {
  check(v.rows >= 1, "number of rows", v.rows, "1 or more");
  check(v.columns >= 1, "number of columns", v.columns, "1 or more");
  check(v.analysis_type >= 1 && v.analysis_type <= 4, "analysis type", v.analysis_type, "1 to 4");
  check(v.matrix_option >= 0 && v.matrix_option <= 2, "matrix option", v.matrix_option, "0 to 2");
  check(v.components >= 0, "components retained", v.components, "0 or more");
  check(v.variable_labels == 0 || v.variable_labels == 1, "variable-labels flag",
        v.variable_labels, "0 or 1");
  if (v.analysis_type == 4) {
    check(v.coa_scaling >= 0 && v.coa_scaling <= 2, "CoA scaling", v.coa_scaling, "0 to 2");
  }
  if (v.analysis_type == 2 || v.analysis_type == 3) {
    check(v.variable_score_option >= 0 && v.variable_score_option <= 2, "variable-score option",
          v.variable_score_option, "0 to 2");
    check(v.object_score_norm >= 0 && v.object_score_norm <= 1, "object-score normalisation",
          v.object_score_norm, "0 or 1");
  }
}

void apply_type_rules(RunValues& v) {
  if (v.analysis_type == 1) {
    v.variable_score_option = 0;
    v.object_score_norm = 0;
  }
}

ParameterTexts parameter_texts(const RunValues& v) {
  int coa_cell = v.analysis_type >= 4 ? v.coa_scaling + 1 : 4;
  int variable_cell = v.analysis_type == 4 ? 4 : v.variable_score_option + 1;
  int object_cell = v.analysis_type == 4 ? 3 : v.object_score_norm + 1;
  ParameterTexts t;
  t.analysis = cell(kTypeTable, v.analysis_type, 50);
  // Any non-zero flag means the labels are read.
  t.object_labels = cell(kSavingTable, v.object_labels != 0 ? 5 : 4, 30);
  t.variable_labels = cell(kSavingTable, v.variable_labels + 4, 30);
  t.coa = cell(kScalingTable, coa_cell, 50);
  t.matrix = cell(kSavingTable, v.matrix_option + 1, 30);
  t.printout = cell(kPrintoutTable, v.printout != 0 ? 2 : 1, 30);
  t.variable_scores = cell(kTypeTable, variable_cell + 4, 50);
  t.object_scores = cell(kObjectScoreTable, object_cell, 50);
  return t;
}

}  // namespace orthaxis::driver
