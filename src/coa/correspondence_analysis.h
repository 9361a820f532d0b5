#pragma once
// Correspondence analysis of a table of non-negative amounts: phase 1 builds
// the packed matrix of standardized residuals for the eigenanalysis, phase 2
// computes, lists, saves and plots the object and variable scores under one
// of three scalings.

#include <cstdint>
#include <span>
#include <string>

#include "input/scratch_file.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::coa {

struct Table {
  std::int32_t n = 0, p = 0;
  std::span<float> column_totals;  // amounts, then proportions after phase 1
  std::span<float> row_totals;     // amounts, then proportions after phase 1
  float grand_total = 0.0f;
};

// Where the first negative value of the table stands (1-based); 0 if none.
struct FirstNegative {
  std::int64_t object = 0;
  std::int64_t variable = 0;
};

// Negative values and zero totals leave the residuals undefined. Prints the
// abnormal-termination line of the first such case and returns false.
bool check_table(textio::Printer& print, const Table& t, FirstNegative negative);

struct Scores {
  std::int32_t axes = 0;               // r
  std::int32_t scaling = 0;            // 0, 1, 2
  std::span<float> eigenvalues;        // replaced by the singular values 1..r
  std::span<float> matrix;             // packed matrix, then object scores (axis-major)
  std::span<float> eigenvectors;       // p x p; columns 1..r become the variable scores
  bool object_labels = false, variable_labels = false;
  std::span<const std::string> object_label_text, variable_label_text;
};

void correspondence_analysis(std::int32_t phase, Table& t, Scores& s, textio::Printer& print,
                             input::ScratchFile& scratch, std::span<float> row,
                             textio::RecordFile& object_file, textio::RecordFile& variable_file,
                             const std::string& data_file_name);

}  // namespace orthaxis::coa
