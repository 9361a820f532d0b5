#include "input/data_matrix.h"

#include <array>
#include <vector>

#include "textio/io_error.h"

namespace orthaxis::input {

std::string read_heading(textio::RecordFile& data, HeadingCounts* counts) {
  std::string title = textio::read_text(data, kTitleLength);
  std::array<std::int32_t, 1> count{0};
  const std::string_view rest = textio::read_ints(data, count);
  if (counts != nullptr) {
    counts->first = count[0];
    // A second count is only looked at, never read: the file stays where it is.
    std::string_view r = rest;
    while (!r.empty() && (r.front() == ' ' || r.front() == '\t' || r.front() == ',')) r.remove_prefix(1);
    const std::size_t end = r.find_first_of(" \t,/");
    bool overflow = false;
    counts->has_second =
        !r.empty() && textio::parse_int(r.substr(0, end), counts->second, overflow);
  }
  return title;
}

void expect_row(const textio::IoError& e, std::int64_t row, std::int64_t rows,
                std::int64_t values) {
  textio::IoError located = e;
  if (e.reason() == textio::kPastEnd)
    located.expect("row " + std::to_string(row) + " of " + std::to_string(rows) +
                   " is complete (" + std::to_string(values) +
                   (values == 1 ? " value" : " values") + " a row)");
  throw located;
}

StoredMatrix read_stored(textio::RecordFile& data, std::int32_t setup_rows,
                         std::int32_t setup_columns, ReadFindings* findings) {
  StoredMatrix m;
  m.title = textio::read_text(data, kTitleLength);
  std::array<std::int32_t, 2> counts{setup_rows, setup_columns};
  textio::read_ints(data, counts);
  m.rows = counts[0];
  m.columns = counts[1];
  // The setup file's counts bound those of the data file.
  if (m.rows < 1 || m.columns < 1 || m.rows > setup_rows || m.columns > setup_columns) {
    throw textio::IoError("Counts " + std::to_string(m.rows) + " and " +
                              std::to_string(m.columns) +
                              " of the second record are outside 1 to the setup file's " +
                              std::to_string(setup_rows) + " rows and " +
                              std::to_string(setup_columns) + " columns",
                          "READ", data.unit(), data.path(), data.line());
  }
  const std::size_t stride = static_cast<std::size_t>(m.columns);
  m.values.resize(static_cast<std::size_t>(m.rows) * stride);
  for (std::size_t i = 0; i < static_cast<std::size_t>(m.rows); ++i) {
    try {
      const std::string_view rest =
          textio::read_reals(data, std::span<float>(m.values.data() + i * stride, stride));
      if (findings != nullptr) findings->row_read(rest, data.line());
    } catch (const textio::IoError& e) {
      expect_row(e, static_cast<std::int64_t>(i + 1), m.rows, m.columns);
    }
  }
  if (findings != nullptr) findings->values_after_last_row = count_remaining_values(data);
  return m;
}

Shape transpose(textio::RecordFile& data, Shape stored, const textio::Directory& dir,
                textio::Console& console, ReadFindings* findings) {
  console.write(textio::free_format_record({}));
  console.write(textio::free_format_record({" WARNING: COLS OF DATA MATRIX WILL BE ORDINATED"}));
  console.write(textio::free_format_record({}));

  const StoredMatrix m = read_stored(data, stored.objects, stored.variables, findings);
  const std::int32_t rows = m.rows;
  const std::int32_t columns = m.columns;
  const std::size_t stride = static_cast<std::size_t>(columns);

  const int unit = data.unit();
  data.close();
  data = textio::RecordFile(unit, dir, kTransposedName, textio::RecordFile::Open::kReplace);
  data.write(m.title);
  data.write(textio::free_format_record({columns, rows}));
  std::vector<float> column(static_cast<std::size_t>(rows));
  for (std::size_t j = 0; j < stride; ++j) {
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = m.values[i * stride + j];
    data.write(textio::free_format_record({std::span<const float>(column)}));
  }
  data.rewind();
  return {columns, rows};
}

std::int64_t count_remaining_values(textio::RecordFile& data) {
  std::int64_t values = 0;
  std::string_view record;
  while (data.next_record(record)) values += textio::count_fields(record);
  return values;
}

}  // namespace orthaxis::input
