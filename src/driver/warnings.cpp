#include "driver/warnings.h"

#include "textio/free_format.h"

namespace orthaxis::driver {

namespace {

// Long lists are cut after this many entries.
constexpr std::size_t kListed = 10;

std::string plural(std::int64_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string VariableNames::name(std::size_t j) const {
  std::string s = std::to_string(j + 1);
  if (j < labels.size()) {
    const std::string_view label = textio::trim_right(labels[j]);
    if (!label.empty()) s += " (" + std::string(label) + ")";
  }
  return s;
}

void warn_values_left(textio::Messages& m, const std::string& file,
                      const input::ReadFindings& f) {
  if (f.rows_with_values_left > 0) {
    const bool one = f.rows_with_values_left == 1;
    m.warning(file + ": " + std::to_string(f.rows_with_values_left) +
              (one ? " row leaves values unread at the end of its last line, on line "
                   : " rows leave values unread at the end of their last line, the first on line ") +
              std::to_string(f.first_line_with_values_left) +
              " (a decimal comma, or more columns than the setup file gives?)");
  }
  if (f.values_after_last_row > 0)
    m.warning(file + ": " + plural(f.values_after_last_row, "value is", "values are") +
              " left after the last row that is read (more rows than the setup file gives?)");
}

void warn_heading_counts(textio::Messages& m, const std::string& file, bool setup_counts_used,
                         const input::HeadingCounts& counts, std::int32_t setup_rows,
                         std::int32_t setup_columns) {
  const bool rows_differ = counts.first != setup_rows;
  const bool columns_differ = counts.has_second && counts.second != setup_columns;
  if (!rows_differ && !columns_differ) return;
  std::string given = std::to_string(counts.first);
  std::string setup = std::to_string(setup_rows);
  if (counts.has_second) {
    given += " and " + std::to_string(counts.second);
    setup += " and " + std::to_string(setup_columns);
  }
  m.warning(file + ", line 2: counts " + given + " differ from the setup file's " + setup +
            (setup_counts_used ? " (the setup file's are used)" : " (the data file's are used)"));
}

void warn_cut_labels(textio::Messages& m, const std::string& file, const input::CutLabels& cut) {
  if (cut.count == 0) return;
  m.warning(file + ": " + plural(cut.count, "label is", "labels are") + " longer than " +
            std::to_string(input::kLabelLength) + " characters and cut, the first on line " +
            std::to_string(cut.first_line) + " to \"" + cut.first_label + "\"");
}

void warn_missing(textio::Messages& m, std::span<const std::int64_t> missing,
                  const VariableNames& names) {
  std::int64_t total = 0;
  std::size_t variables = 0;
  std::string list;
  for (std::size_t j = 0; j < missing.size(); ++j) {
    if (missing[j] == 0) continue;
    total += missing[j];
    if (variables++ < kListed)
      list += (list.empty() ? "" : ", ") + std::string("variable ") + names.name(j) + ": " +
              std::to_string(missing[j]);
  }
  if (total == 0) return;
  if (variables > kListed) list += ", and " + std::to_string(variables - kListed) + " more";
  m.warning(plural(total, "missing value", "missing values") + " (negative numbers), left out " +
            "pair by pair: " + list);
}

void warn_no_spread(textio::Messages& m, const std::vector<std::size_t>& variables,
                    const VariableNames& names) {
  if (variables.empty()) return;
  std::string list;
  for (std::size_t k = 0; k < variables.size() && k < kListed; ++k)
    list += (k == 0 ? "" : ", ") + names.name(variables[k]);
  if (variables.size() > kListed) list += ", and " + std::to_string(variables.size() - kListed) + " more";
  m.warning(std::string(variables.size() == 1 ? "no spread in variable " : "no spread in variables ") +
            list + ": the analysis stops");
}

void warn_axes_lowered(textio::Messages& m, std::int32_t asked, std::int32_t positive) {
  if (positive >= asked) return;
  m.warning(plural(asked, "axis is", "axes are") + " asked for, but only " +
            plural(positive, "eigenvalue is", "eigenvalues are") + " positive: " +
            plural(positive, "axis", "axes") + " retained");
}

}  // namespace orthaxis::driver
