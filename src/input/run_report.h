#pragma once
// The opening of the report: heading with the title (report only), the block
// "INPUT AND RUN PARAMETERS" and one line per file used, repeated on the
// console.

#include <cstdint>
#include <string>

#include "textio/printer.h"

namespace orthaxis::input {

struct RunReport {
  bool correspondence = false;       // the correspondence-analysis heading
  bool matrix_file_line = false;     // the matrix file is named
  bool object_label_line = false;    // the object-labels file is named
  bool variable_label_line = false;  // the variable-labels file is named
  std::int32_t rows = 0;     // as given in the setup file
  std::int32_t columns = 0;  // as given in the setup file
  std::int32_t components = 0;
  // Table cells, already padded to their widths.
  std::string analysis_text, object_labels_text, variable_labels_text, coa_text, matrix_text,
      printout_text, variable_scores_text, object_scores_text;
  std::string title;  // 100 characters
  // 100-character name fields.
  std::string data_file, object_score_file, variable_score_file, matrix_file, object_label_file,
      variable_label_file;
};

void print_run_report(textio::Printer& print, const RunReport& r);

}  // namespace orthaxis::input
