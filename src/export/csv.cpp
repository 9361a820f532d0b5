#include "export/csv.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::csv {

namespace {

void write_file(const textio::Directory& dir, int unit, const char* name,
                const std::function<void(const LineSink&)>& body) {
  textio::OutputFile file(unit, dir, name);
  body([&file](std::string_view record) { file.write(record); });
  file.close();
}
}  // namespace

std::string field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string number(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 9);
  return std::string(buffer, r.ptr);
}

// A number in a table: empty where the value is not finite (the quality of
// a point at the origin is undefined), so that no table holds NaN or inf.
static std::string cell(float value) { return std::isfinite(value) ? number(value) : std::string(); }

void eigenvalue_table(const results::Eigensystem& eigen, const LineSink& line) {
  line("axis,eigenvalue,percent,cumulative_percent");
  float cumulative = 0.0f;
  for (std::int32_t k = 0; k < eigen.positive_count; ++k) {
    const float value = eigen.values[static_cast<std::size_t>(k)];
    const float percent = eigen.percent(static_cast<std::size_t>(k));
    cumulative = k == 0 ? percent : cumulative + percent;
    line(std::to_string(k + 1) + ',' + cell(value) + ',' + cell(percent) + ',' +
         cell(cumulative));
  }
}

results::ScoreMatrix contributions(const results::ScoreMatrix& scores, std::span<const float> masses) {
  const std::size_t points = static_cast<std::size_t>(scores.points());
  const std::size_t axes = static_cast<std::size_t>(scores.axes());
  auto mass = [&masses](std::size_t i) { return masses.empty() ? 1.0 : double{masses[i]}; };
  std::vector<double> axis_total(axes, 0.0);
  for (std::size_t i = 0; i < points; ++i) {
    for (std::size_t k = 0; k < axes; ++k) {
      const double s = scores.at(i, k);
      axis_total[k] += mass(i) * s * s;
    }
  }
  results::ScoreMatrix ctr(analysis::WorkArray(points * axes), scores.points(), scores.axes(),
                           results::ScoreLayout::kPointRows);
  for (std::size_t i = 0; i < points; ++i) {
    for (std::size_t k = 0; k < axes; ++k) {
      const double s = scores.at(i, k);
      ctr.at(i, k) = static_cast<float>(100.0 * mass(i) * s * s / axis_total[k]);
    }
  }
  return ctr;
}

void point_table(std::string_view prefix, const PointTable& t, const LineSink& line) {
  const std::size_t points = static_cast<std::size_t>(t.scores.points());
  const std::size_t axes = static_cast<std::size_t>(t.scores.axes());
  std::optional<results::ScoreMatrix> own;
  if (t.ctr == nullptr) own = contributions(t.scores, t.masses);
  const results::ScoreMatrix& ctr = t.ctr != nullptr ? *t.ctr : *own;

  std::string header = "index,label";
  for (std::size_t k = 1; k <= axes; ++k) header += ',' + std::string(prefix) + std::to_string(k);
  for (std::size_t k = 1; k <= axes; ++k) header += ",cos2_" + std::to_string(k);
  for (std::size_t k = 1; k <= axes; ++k) header += ",ctr_" + std::to_string(k);
  line(header);

  for (std::size_t i = 0; i < points; ++i) {
    std::string row = std::to_string(i + 1) + ',';
    if (!t.labels.empty()) row += field(t.labels[i]);
    for (std::size_t k = 0; k < axes; ++k) row += ',' + cell(t.scores.at(i, k));
    for (std::size_t k = 0; k < axes; ++k) row += ',' + cell(t.cos2.at(i, k));
    for (std::size_t k = 0; k < axes; ++k) row += ',' + cell(ctr.at(i, k));
    line(row);
  }
}

void write_tables(const textio::Directory& dir, const results::Eigensystem& eigen,
                  const PointTable& objects, const PointTable& variables) {
  write_file(dir, textio::units::kEigenvalueTable, kEigenvalueTable,
             [&](const LineSink& line) { eigenvalue_table(eigen, line); });
  write_file(dir, textio::units::kObjectTable, kObjectTable,
             [&](const LineSink& line) { point_table("F", objects, line); });
  write_file(dir, textio::units::kVariableTable, kVariableTable,
             [&](const LineSink& line) { point_table("G", variables, line); });
}

}  // namespace orthaxis::csv
