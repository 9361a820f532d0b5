#pragma once
// The opening of the report: heading with the title (report only), the block
// "INPUT AND RUN PARAMETERS" and one line per file used, repeated on the
// console.

#include <cstdint>
#include <string>

#include "textio/printer.h"

namespace orthaxis::input {

struct RunReport {
  std::int32_t analysis_type = 0;
  std::int32_t rows = 0;     // as given in the setup file
  std::int32_t columns = 0;  // as given in the setup file
  std::int32_t components = 0;
  std::int32_t matrix_option = 0;
  std::int32_t object_labels = 0;
  std::int32_t variable_labels = 0;
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
