#include "driver/supplementary_import.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>

#include "analysis/missing.h"
#include "driver/setup.h"
#include "input/csv_records.h"

namespace orthaxis::driver {

namespace {

using input::CsvTable;
using input::QualitativeColumn;

using input::csv_detail::trim;

// A whole number written in digits alone (the largest when it is larger).
bool whole_number(std::string_view s, std::int64_t& value) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  if (r.ec != std::errc()) value = std::numeric_limits<std::int64_t>::max();
  return true;
}

std::string plural(std::int64_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string shown(std::string_view name) { return "\"" + std::string(name) + "\""; }

}  // namespace

std::string qualitative_notice(const std::string& file, const QualitativeColumn& q,
                               bool object_names, char decimal) {
  std::string s = file + ", column " +
                  std::to_string(q.position + (object_names ? 1 : 0)) + " (" +
                  shown(q.name) + ") is qualitative";
  if (!q.first_text.empty()) {
    s += " (" + shown(q.first_text) + " on line " + std::to_string(q.first_line) +
         " is not a number";
    const char other = decimal == '.' ? ',' : '.';
    if (q.first_text.find(other) != std::string::npos)
      s += std::string("; decimal mark '") + other + "'? use --dec " + other;
    s += ")";
  }
  s += ": " + plural(static_cast<std::int64_t>(q.levels.size()), "level") + ", supplementary";
  if (q.numbers > 0) s += "; " + plural(q.numbers, "of its cells") + " read as numbers";
  return s;
}

std::string active_value_refusal(float v, bool coa) {
  if (analysis::missing_cell(v)) return "a missing value cannot enter a correspondence analysis";
  return input::shortest_float(v) +
         (coa ? " is negative: correspondence analysis takes counts or other values of 0 or more"
              : " is negative: the data file marks a missing value by a negative number, so "
                "principal component analysis takes values of 0 or more");
}

std::vector<ListItem> list_items(std::string_view list) {
  std::vector<ListItem> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    ListItem item;
    item.text = trim(list.substr(start, end - start));
    start = end + 1;
    const std::size_t dash = item.text.find('-');
    if (whole_number(item.text, item.first)) {
      item.position = true;
      item.last = item.first;
    } else if (dash != std::string_view::npos &&
               whole_number(item.text.substr(0, dash), item.first) &&
               whole_number(item.text.substr(dash + 1), item.last)) {
      item.position = true;
    }
    items.push_back(item);
  }
  return items;
}

SupplementaryChoice choose_supplementary(const Options& options, std::int64_t rows,
                                         const std::vector<std::string>& objects,
                                         const DataColumns& columns, std::size_t value_count) {
  SupplementaryChoice choice{std::vector<char>(static_cast<std::size_t>(rows), 0),
                             std::vector<char>(value_count, 0)};
  if (!options.sup_rows.empty())
    for (std::int64_t i : select_items(options.sup_rows, "--sup-rows", "row", rows, objects))
      choice.rows[static_cast<std::size_t>(i)] = 1;
  if (!options.sup_cols.empty()) {
    const auto width = static_cast<std::int64_t>(columns.names.size());
    for (std::int64_t c : select_items(options.sup_cols, "--sup-cols", "column", width, columns.names)) {
      const std::int64_t j = columns.value_of[static_cast<std::size_t>(c)];
      if (j < 0)
        throw SetupError("--sup-cols: column " + std::to_string(c + 1) + " (" +
                         shown(columns.names[static_cast<std::size_t>(c)]) +
                         ") holds texts, not numbers: it is a qualitative variable, "
                         "supplementary without being named");
      choice.values[static_cast<std::size_t>(j)] = 1;
    }
  }
  return choice;
}

void check_active_part(const Options& options, const std::string& file, std::int64_t objects,
                       std::int64_t variables, bool qualitative) {
  if (variables == 0)
    throw SetupError(file + ": no column of numbers is left to analyse" +
                     (qualitative ? " (the columns of texts are qualitative)" : ""));
  const bool lists = !options.sup_rows.empty() || !options.sup_cols.empty();
  if (lists && (objects < 2 || variables < 2))
    throw SetupError("--sup-rows and --sup-cols leave " + plural(objects, "active object") +
                     " and " + plural(variables, "active variable") +
                     ": the analysis needs at least two of each");
}

std::vector<std::int64_t> select_items(std::string_view list, std::string_view option,
                                       std::string_view what, std::int64_t count,
                                       const std::vector<std::string>& names) {
  std::set<std::int64_t> chosen;
  const std::string opt(option);
  auto position = [&](std::int64_t k) {
    if (k < 1 || k > count)
      throw SetupError(opt + ": " + std::string(what) + " " + std::to_string(k) +
                       " is beyond the table's " + plural(count, what));
    return k - 1;
  };
  for (const ListItem& entry : list_items(list)) {
    const std::string_view item = entry.text;
    if (item.empty()) throw SetupError(opt + ": an empty item in \"" + std::string(list) + "\"");
    const std::int64_t a = entry.first, b = entry.last;
    if (entry.position) {
      if (b < a)
        throw SetupError(opt + ": the range " + std::string(item) + " runs backwards");
      position(a);
      position(b);
      for (std::int64_t k = a; k <= b; ++k) chosen.insert(k - 1);
    } else {
      bool found = false;
      for (std::size_t k = 0; k < names.size(); ++k) {
        if (trim(names[k]) != item) continue;
        chosen.insert(static_cast<std::int64_t>(k));
        found = true;
      }
      if (!found)
        throw SetupError(opt + ": no " + std::string(what) + " is named " + shown(item) +
                         (names.empty() ? " (the table's rows have no names: give positions)"
                                        : ""));
    }
  }
  return {chosen.begin(), chosen.end()};
}

namespace {

// The rows and columns of values, active or supplementary, by their index.
struct Parts {
  std::vector<std::int64_t> active_rows, sup_rows, active_cols, sup_cols;
};

// The parts that --sup-rows and --sup-cols choose; refuses a choice that
// names a column of texts or leaves too little to analyse.
Parts choose_parts(const CsvTable& table, const Options& options, const std::string& file) {
  const std::int64_t width = table.columns() + static_cast<std::int64_t>(table.qualitative.size());
  DataColumns columns{std::vector<std::string>(static_cast<std::size_t>(width)),
                      std::vector<std::int64_t>(static_cast<std::size_t>(width), -1)};
  for (std::int64_t j = 0; j < table.columns(); ++j) {
    const std::size_t at = static_cast<std::size_t>(table.position_of(j) - 1);
    columns.names[at] = table.variables[static_cast<std::size_t>(j)];
    columns.value_of[at] = j;
  }
  for (const QualitativeColumn& q : table.qualitative)
    columns.names[static_cast<std::size_t>(q.position - 1)] = q.name;
  const SupplementaryChoice choice =
      choose_supplementary(options, table.rows(), table.objects, columns,
                           static_cast<std::size_t>(table.columns()));
  Parts parts;
  for (std::int64_t i = 0; i < table.rows(); ++i)
    (choice.rows[static_cast<std::size_t>(i)] ? parts.sup_rows : parts.active_rows).push_back(i);
  for (std::int64_t j = 0; j < table.columns(); ++j)
    (choice.values[static_cast<std::size_t>(j)] ? parts.sup_cols : parts.active_cols).push_back(j);
  check_active_part(options, file, static_cast<std::int64_t>(parts.active_rows.size()),
                    static_cast<std::int64_t>(parts.active_cols.size()), !table.qualitative.empty());
  return parts;
}

// Refuses a negative value where the supplementary elements are placed from:
// the supplementary objects of a PCA (a negative value would read as a
// missing one), the supplementary rows and columns of a correspondence
// analysis (profiles of amounts of 0 or more).
void check_supplementary_values(const CsvTable& table, const Parts& parts, bool coa) {
  auto check = [&](const std::vector<std::int64_t>& along_rows,
                   const std::vector<std::int64_t>& along_cols, std::string_view rule) {
    for (std::int64_t i : along_rows)
      for (std::int64_t j : along_cols) {
        const float v = table.at(i, j);
        if (!analysis::missing_cell(v) && v < 0.0f)
          throw input::CsvError(input::shortest_float(v) + " is negative: " + std::string(rule),
                                table.lines[static_cast<std::size_t>(i)], table.field_of(j),
                                table.variables[static_cast<std::size_t>(j)]);
      }
  };
  if (coa) {
    check(parts.sup_rows, parts.active_cols, kNegativeSupplementaryRow);
    check(parts.active_rows, parts.sup_cols, kNegativeSupplementaryColumn);
  } else {
    check(parts.sup_rows, parts.active_cols, kNegativeSupplementaryObject);
  }
}

// The active part, as a table of its own.
CsvTable active_part(const CsvTable& table, const Parts& parts) {
  CsvTable a;
  a.variables.reserve(parts.active_cols.size());
  for (std::int64_t j : parts.active_cols) {
    a.variables.push_back(table.variables[static_cast<std::size_t>(j)]);
    a.positions.push_back(table.position_of(j));
  }
  a.values.reserve(parts.active_rows.size() * parts.active_cols.size());
  for (std::int64_t i : parts.active_rows) {
    a.lines.push_back(table.lines[static_cast<std::size_t>(i)]);
    if (table.has_object_names()) a.objects.push_back(table.objects[static_cast<std::size_t>(i)]);
    for (std::int64_t j : parts.active_cols) a.values.push_back(table.at(i, j));
  }
  return a;
}

// The supplementary objects, variables and qualitative columns.
input::SupplementaryData supplementary_part(const CsvTable& table, const Parts& parts) {
  input::SupplementaryData s;
  for (std::int64_t i : parts.sup_rows) {
    s.object_index.push_back(i + 1);
    s.object_labels.push_back(table.has_object_names() ? table.objects[static_cast<std::size_t>(i)]
                                                       : std::string());
    for (std::int64_t j : parts.active_cols) s.objects.push_back(table.at(i, j));
  }
  for (std::int64_t j : parts.sup_cols)
    s.variable_names.push_back(table.variables[static_cast<std::size_t>(j)]);
  for (std::int64_t i : parts.active_rows)
    for (std::int64_t j : parts.sup_cols) s.variables.push_back(table.at(i, j));
  std::vector<char> supplementary(static_cast<std::size_t>(table.rows()), 0);
  for (std::int64_t i : parts.sup_rows) supplementary[static_cast<std::size_t>(i)] = 1;
  for (const QualitativeColumn& q : table.qualitative)
    s.qualitative.push_back(active_levels(q, supplementary));
  return s;
}

}  // namespace

QualitativeColumn active_levels(const QualitativeColumn& q, std::span<const char> supplementary) {
  std::vector<std::int32_t> renumber(q.levels.size(), QualitativeColumn::kNoLevel);
  for (std::size_t i = 0; i < supplementary.size(); ++i) {
    const std::int32_t c = q.codes[i];
    if (!supplementary[i] && c != QualitativeColumn::kNoLevel)
      renumber[static_cast<std::size_t>(c)] = 0;
  }
  QualitativeColumn kept;
  kept.name = q.name;
  kept.position = q.position;
  for (std::size_t k = 0; k < q.levels.size(); ++k) {
    if (renumber[k] == QualitativeColumn::kNoLevel) continue;
    renumber[k] = static_cast<std::int32_t>(kept.levels.size());
    kept.levels.push_back(q.levels[k]);
  }
  for (std::size_t i = 0; i < supplementary.size(); ++i) {
    if (supplementary[i]) continue;
    const std::int32_t c = q.codes[i];
    kept.codes.push_back(c == QualitativeColumn::kNoLevel ? c : renumber[static_cast<std::size_t>(c)]);
  }
  return kept;
}

SplitTable split_table(CsvTable table, const Options& options, const std::string& file) {
  SplitTable split;
  for (const QualitativeColumn& q : table.qualitative)
    split.notices.push_back(qualitative_notice(file, q, table.has_object_names(), options.decimal));
  const Parts parts = choose_parts(table, options, file);
  check_supplementary_values(table, parts, options.analysis == ImportAnalysis::kCorrespondence);
  split.active = active_part(table, parts);
  split.supplementary = supplementary_part(table, parts);
  return split;
}

}  // namespace orthaxis::driver
