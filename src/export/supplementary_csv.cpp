#include "export/supplementary_csv.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::csv {

namespace {

void write_file(const textio::Directory& dir, const char* name,
                const std::function<void(const LineSink&)>& body) {
  textio::OutputFile file(textio::units::kSupplementaryTable, dir, name);
  body([&file](std::string_view record) { file.write(record); });
  file.close();
}

std::string axis_header(std::string_view prefix, std::int32_t axes) {
  std::string h;
  for (std::int32_t k = 1; k <= axes; ++k) h += ',' + std::string(prefix) + std::to_string(k);
  return h;
}

}  // namespace

std::string number9(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  if (value == 0.0) return "0";
  char buffer[40];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 9);
  return std::string(buffer, r.ptr);
}

void supplementary_point_table(std::string_view prefix, const results::SupplementaryPoints& points,
                               std::span<const std::int64_t> index,
                               std::span<const std::string> labels, const LineSink& line) {
  const std::size_t q = static_cast<std::size_t>(points.axes);
  line("index,label" + axis_header(prefix, points.axes) + axis_header("cos2_", points.axes));
  for (std::size_t i = 0; i < static_cast<std::size_t>(points.points); ++i) {
    std::string row = std::to_string(index.empty() ? static_cast<std::int64_t>(i + 1) : index[i]) + ',';
    if (i < labels.size()) row += field(labels[i]);
    for (std::size_t k = 0; k < q; ++k) row += ',' + number9(points.coordinate(i, k));
    for (std::size_t k = 0; k < q; ++k) row += ',' + number9(points.quality(i, k));
    line(row);
  }
}

void group_table(std::span<const results::LevelPoint> levels, std::int32_t axes,
                 const LineSink& line) {
  line("variable,level,count" + axis_header("F", axes) + axis_header("cos2_", axes) +
       axis_header("vtest_", axes));
  for (const results::LevelPoint& l : levels) {
    std::string row = field(l.variable) + ',' + field(l.level) + ',' + std::to_string(l.count);
    for (double v : l.coord) row += ',' + number9(v);
    for (double v : l.cos2) row += ',' + number9(v);
    for (std::int32_t k = 0; k < axes; ++k)
      row += ',' + (l.vtest.empty() ? std::string("NA") : number9(l.vtest[static_cast<std::size_t>(k)]));
    line(row);
  }
}

void write_supplementary_tables(const textio::Directory& dir, const SupplementaryTables& t) {
  if (t.objects.points > 0)
    write_file(dir, kSupplementaryObjectTable, [&](const LineSink& line) {
      supplementary_point_table("F", t.objects, t.data.object_index, t.data.object_labels, line);
    });
  if (t.variables.points > 0)
    write_file(dir, kSupplementaryVariableTable, [&](const LineSink& line) {
      supplementary_point_table("G", t.variables, {}, t.data.variable_names, line);
    });
  if (!t.levels.empty())
    write_file(dir, kGroupTable, [&](const LineSink& line) { group_table(t.levels, t.axes, line); });
}

}  // namespace orthaxis::csv
