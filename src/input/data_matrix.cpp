#include "input/data_matrix.h"

#include <array>
#include <vector>

#include "textio/io_error.h"

namespace orthaxis::input {

std::string read_heading(textio::RecordFile& data) {
  std::string title = textio::read_text(data, kTitleLength);
  std::array<std::int32_t, 1> count{0};
  textio::read_ints(data, count);
  return title;
}

void transpose(textio::RecordFile& data, std::int32_t& objects, std::int32_t& variables,
               textio::Console& console) {
  console.write(textio::free_format_record({}));
  console.write(textio::free_format_record({" WARNING: COLS OF DATA MATRIX WILL BE ORDINATED"}));
  console.write(textio::free_format_record({}));

  const std::int32_t setup_rows = objects;
  const std::int32_t setup_columns = variables;

  std::string title = textio::read_text(data, kTitleLength);
  std::array<std::int32_t, 2> counts{setup_rows, setup_columns};
  textio::read_ints(data, counts);
  const std::int32_t rows = counts[0];
  const std::int32_t columns = counts[1];
  // The setup file's counts bound those of the data file.
  if (rows < 1 || columns < 1 || rows > setup_rows || columns > setup_columns) {
    throw textio::IoError("Counts " + std::to_string(rows) + " and " + std::to_string(columns) +
                              " of the second record are outside 1 to the setup file's " +
                              std::to_string(setup_rows) + " rows and " +
                              std::to_string(setup_columns) + " columns",
                          "READ", data.unit(), data.path(), data.line());
  }
  const std::size_t stride = static_cast<std::size_t>(columns);
  std::vector<float> matrix(static_cast<std::size_t>(rows) * stride);
  for (std::size_t i = 0; i < static_cast<std::size_t>(rows); ++i) {
    textio::read_reals(data, std::span<float>(matrix.data() + i * stride, stride));
  }

  const int unit = data.unit();
  data.close();
  data = textio::RecordFile(unit, kTransposedName, textio::RecordFile::Open::kReplace);
  data.write(title);
  data.write(textio::free_format_record({columns, rows}));
  std::vector<float> column(static_cast<std::size_t>(rows));
  for (std::size_t j = 0; j < stride; ++j) {
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = matrix[i * stride + j];
    data.write(textio::free_format_record({std::span<const float>(column)}));
  }
  data.rewind();
  objects = columns;
  variables = rows;
}

}  // namespace orthaxis::input
