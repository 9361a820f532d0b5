#include "input/supplementary_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "export/csv.h"

namespace orthaxis::input {

namespace {

std::string value_text(float v) {
  return analysis::missing_cell(v) ? std::string("NA") : shortest_float(v);
}

std::string header(const std::vector<std::string>& names) {
  std::string h = "index,label";
  for (const std::string& name : names) h += ',' + csv::field(name);
  return h + '\n';
}

std::string read_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot read \"" + path + "\": " + std::strerror(errno));
  std::string text;
  char buffer[1 << 16];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw std::runtime_error("cannot read \"" + path + "\"");
  return text;
}

// The records of a file after its header; `width` fields each.
struct Rows {
  std::vector<std::string> names;  // header fields after index and label
  std::vector<std::vector<std::string>> cells;
};
Rows read_rows(const std::string& path, const std::string& shown) {
  Rows rows;
  bool header = true;
  for_each_record(read_file(path), ',',
                  [&](std::int64_t line, const std::vector<std::string_view>& fields) {
                    if (fields.size() == 1 && fields[0].empty()) return;  // blank line
                    if (header) {
                      if (fields.size() < 2)
                        throw std::runtime_error(shown + ": the header row needs index and label");
                      for (std::size_t j = 2; j < fields.size(); ++j)
                        rows.names.emplace_back(fields[j]);
                      header = false;
                      return;
                    }
                    if (fields.size() != rows.names.size() + 2)
                      throw std::runtime_error(shown + ", line " + std::to_string(line) + ": " +
                                               std::to_string(fields.size()) +
                                               " fields where the header row has " +
                                               std::to_string(rows.names.size() + 2));
                    rows.cells.emplace_back(fields.begin(), fields.end());
                  });
  return rows;
}

float read_value(const std::string& cell, const std::string& shown, std::size_t row) {
  if (cell.empty() || cell == "NA") return CsvTable::kMissing;
  float v = 0.0f;
  bool too_large = false;
  if (!parse_csv_number(cell, '.', v, too_large))
    throw std::runtime_error(shown + ", row " + std::to_string(row + 1) + ": \"" + cell +
                             "\" is not a number");
  return v;
}

void check_rows(const Rows& r, std::int64_t n, const std::string& shown) {
  if (static_cast<std::int64_t>(r.cells.size()) != n)
    throw std::runtime_error(shown + " holds " + std::to_string(r.cells.size()) +
                             " rows where the data file has " + std::to_string(n) +
                             " objects (it belongs to another import)");
}

}  // namespace

bool has_supplementary_files(const textio::Directory& dir) {
  std::error_code ec;
  for (const char* name : kSupplementaryFiles)
    if (std::filesystem::exists(dir.path(name), ec)) return true;
  return false;
}

SupplementaryData read_supplementary(const textio::Directory& dir, std::int64_t n,
                                     std::int64_t p) {
  SupplementaryData d;
  std::error_code ec;
  auto present = [&](const char* name) { return std::filesystem::exists(dir.path(name), ec); };
  if (present(kSupplementaryObjectsFile)) {
    const std::string shown = kSupplementaryObjectsFile;
    const Rows r = read_rows(dir.path(kSupplementaryObjectsFile), shown);
    if (static_cast<std::int64_t>(r.names.size()) != p)
      throw std::runtime_error(shown + " holds " + std::to_string(r.names.size()) +
                               " variables where the data file has " + std::to_string(p) +
                               " (it belongs to another import)");
    for (std::size_t i = 0; i < r.cells.size(); ++i) {
      float index = 0.0f;
      bool too_large = false;
      d.object_index.push_back(parse_csv_number(r.cells[i][0], '.', index, too_large)
                                   ? static_cast<std::int64_t>(index)
                                   : static_cast<std::int64_t>(i + 1));
      d.object_labels.push_back(r.cells[i][1]);
      for (std::size_t j = 2; j < r.cells[i].size(); ++j)
        d.objects.push_back(read_value(r.cells[i][j], shown, i));
    }
  }
  if (present(kSupplementaryVariablesFile)) {
    const std::string shown = kSupplementaryVariablesFile;
    const Rows r = read_rows(dir.path(kSupplementaryVariablesFile), shown);
    check_rows(r, n, shown);
    d.variable_names = r.names;
    for (std::size_t i = 0; i < r.cells.size(); ++i)
      for (std::size_t j = 2; j < r.cells[i].size(); ++j)
        d.variables.push_back(read_value(r.cells[i][j], shown, i));
  }
  if (present(kQualitativeFile)) {
    const std::string shown = kQualitativeFile;
    const Rows r = read_rows(dir.path(kQualitativeFile), shown);
    check_rows(r, n, shown);
    for (std::size_t j = 0; j < r.names.size(); ++j) {
      QualitativeColumn q;
      q.name = r.names[j];
      std::map<std::string, std::int32_t> levels;
      for (const auto& row : r.cells) {
        const std::string& cell = row[j + 2];
        if (cell.empty() || cell == "NA") continue;
        levels.emplace(cell, 0);
      }
      std::int32_t k = 0;
      for (auto& [text, code] : levels) {
        code = k++;
        q.levels.push_back(text);
      }
      for (const auto& row : r.cells) {
        const std::string& cell = row[j + 2];
        q.codes.push_back(cell.empty() || cell == "NA" ? QualitativeColumn::kNoLevel
                                                      : levels.at(cell));
      }
      d.qualitative.push_back(std::move(q));
    }
  }
  return d;
}

SupplementaryTexts supplementary_texts(const SupplementaryData& d,
                                       const std::vector<std::string>& active_labels,
                                       const std::vector<std::string>& active_variables) {
  SupplementaryTexts t;
  const std::size_t p = active_variables.size();
  if (!d.object_index.empty()) {
    t.objects = header(active_variables);
    for (std::size_t i = 0; i < d.object_index.size(); ++i) {
      t.objects += std::to_string(d.object_index[i]) + ',' + csv::field(d.object_labels[i]);
      for (std::size_t j = 0; j < p; ++j) t.objects += ',' + value_text(d.objects[i * p + j]);
      t.objects += '\n';
    }
  }
  auto row_start = [&](std::size_t i) {
    return std::to_string(i + 1) + ',' + (active_labels.empty() ? std::string() : csv::field(active_labels[i]));
  };
  const std::size_t s = d.variable_names.size();
  if (s > 0) {
    t.variables = header(d.variable_names);
    const std::size_t n = d.variables.size() / s;
    for (std::size_t i = 0; i < n; ++i) {
      t.variables += row_start(i);
      for (std::size_t j = 0; j < s; ++j) t.variables += ',' + value_text(d.variables[i * s + j]);
      t.variables += '\n';
    }
  }
  if (!d.qualitative.empty()) {
    std::vector<std::string> names;
    for (const auto& q : d.qualitative) names.push_back(q.name);
    t.qualitative = header(names);
    const std::size_t n = d.qualitative[0].codes.size();
    for (std::size_t i = 0; i < n; ++i) {
      t.qualitative += row_start(i);
      for (const auto& q : d.qualitative) {
        const std::int32_t c = q.codes[i];
        t.qualitative += ',';
        if (c != QualitativeColumn::kNoLevel) t.qualitative += csv::field(q.levels[static_cast<std::size_t>(c)]);
      }
      t.qualitative += '\n';
    }
  }
  return t;
}

}  // namespace orthaxis::input
