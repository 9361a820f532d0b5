#include "driver/check.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "driver/work_memory.h"
#include "driver/run.h"
#include "driver/run_context.h"
#include "driver/plan.h"
#include "driver/run_files.h"
#include "driver/setup.h"
#include "driver/warnings.h"
#include "input/data_matrix.h"
#include "input/labels.h"
#include "textio/free_format.h"
#include "textio/record_file.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

using textio::RecordFile;


std::string count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the data pass finds, object after object: per variable the negative
// values, and the sums from which the run takes its standard deviation,
// added by the pass's own steps. Moving it leaves the sums where they are.
class DataSummary {
 public:
  DataSummary(std::int32_t n, std::int32_t p)
      : objects(n), variables(p), negative(static_cast<std::size_t>(p)),
        sum_(negative.size()), count_(negative.size()), squares_(negative.size()),
        pass_(p, started({sum_, count_, {}, {}, 0.0f}, n), squares_) {}
  void add(std::span<const float> row) {
    for (std::size_t j = 0; j < row.size(); ++j) negative[j] += !analysis::present(row[j]);
    pass_.add(row);
  }
  // The variables on which a PCA run stops for want of spread.
  std::vector<std::size_t> no_spread() {
    pass_.finish();
    std::vector<std::size_t> list;
    for (std::size_t j = 0; j < sum_.size(); ++j)
      if (!analysis::has_spread(analysis::standard_deviation(squares_[j], sum_[j], count_[j])))
        list.push_back(j);
    return list;
  }

  std::int32_t objects = 0, variables = 0;
  std::vector<std::int64_t> negative;

 private:
  static analysis::VariableSums started(analysis::VariableSums sums, std::int32_t n) {
    analysis::start_variable_sums(sums, n);
    return sums;
  }

  std::vector<float> sum_, count_, squares_;
  analysis::VariableAccumulator pass_;
};

// Rows are objects: the setup's counts, one read per row as the data pass does.
DataSummary read_rows(RecordFile& data, const RunValues& v, textio::Messages& messages,
                      input::ReadFindings& findings) {
  input::HeadingCounts counts;
  input::read_heading(data, &counts);
  warn_heading_counts(messages, data.path(), true, counts, v.rows, v.columns);
  DataSummary s(v.rows, v.columns);
  std::vector<float> row(static_cast<std::size_t>(v.columns));
  for (std::int64_t i = 0; i < v.rows; ++i) {
    try {
      const std::string_view rest = input::read_row(data, row);
      findings.row_read(rest, data.line());
    } catch (const textio::IoError& e) {
      input::expect_row(e, i + 1, v.rows, v.columns);
    }
    s.add(row);
  }
  findings.values_after_last_row = input::count_remaining_values(data);
  return s;
}

// Columns are objects: the reads of the transposition, without its file.
DataSummary read_columns(RecordFile& data, const RunValues& v, textio::Messages& messages,
                         input::ReadFindings& findings) {
  const input::StoredMatrix m = input::read_stored(data, v.rows, v.columns, &findings);
  warn_heading_counts(messages, data.path(), false, {m.rows, true, m.columns}, v.rows, v.columns);
  DataSummary s(m.columns, m.rows);
  const std::size_t stride = static_cast<std::size_t>(m.columns);
  std::vector<float> object(static_cast<std::size_t>(m.rows));
  for (std::size_t c = 0; c < stride; ++c) {
    for (std::size_t r = 0; r < object.size(); ++r) object[r] = m.values[r * stride + c];
    s.add(object);
  }
  return s;
}

}  // namespace

void check(textio::Console& console, const Options& options, textio::Messages& messages,
           const textio::Directory& dir) {
  RecordFile setup(textio::units::kSetup, dir, kSetupFile, RecordFile::Open::kExisting);
  auto [v, names] = read_setup(setup);
  setup.close();
  const RunPlan plan = plan_run(v, options);
  // A setup that the run would refuse for its names is refused here too.
  check_distinct(files_of_run(plan, names, dir));
  // A run that cannot hold its arrays is refused here as it would be there.
  const std::int32_t n = plan.transpose ? v.columns : v.rows;
  const std::int32_t p = plan.transpose ? v.rows : v.columns;
  check_work_memory(n, p, v.components,
                    (plan.object_labels ? static_cast<std::size_t>(n) : 0) +
                        (plan.variable_labels ? static_cast<std::size_t>(p) : 0),
                    work_side(plan, n, p));
  RecordFile data(textio::units::kData, dir, name_of(names.data), RecordFile::Open::kExisting);
  apply_type_rules(v);

  input::ReadFindings findings;
  DataSummary d = !plan.transpose ? read_rows(data, v, messages, findings)
                                           : read_columns(data, v, messages, findings);
  data.close();
  warn_values_left(messages, data.path(), findings);

  std::vector<std::string> variable_labels;
  input::CutLabels cut;
  if (plan.variable_labels) {
    RecordFile file(textio::units::kVariableLabels, dir, name_of(names.variable_labels),
                    RecordFile::Open::kExisting);
    variable_labels = input::read_labels(file, d.variables, &cut);
    warn_cut_labels(messages, name_of(names.variable_labels), cut);
  }
  cut = {};
  if (plan.object_labels) {
    RecordFile file(textio::units::kObjectLabels, dir, name_of(names.object_labels),
                    RecordFile::Open::kExisting);
    input::read_labels(file, d.objects, &cut);
    warn_cut_labels(messages, name_of(names.object_labels), cut);
  }
  const bool coa = plan.correspondence();
  if (!coa) {
    warn_missing(messages, d.negative, VariableNames{variable_labels});
    warn_no_spread(messages, d.no_spread(), VariableNames{variable_labels});
  }

  std::int64_t negative = 0;
  for (std::int64_t k : d.negative) negative += k;
  const ParameterTexts t = parameter_texts(v);
  console.write(std::string(kSetupFile) + ": " + std::string(textio::trim_right(t.analysis)) +
                ", " + count(v.components, "axis", "axes") + " retained");
  std::string data_line = name_of(names.data) + ": " + count(d.objects, "object", "objects") +
                          ", " + count(d.variables, "variable", "variables") + ", ";
  data_line += coa ? count(negative, "negative value", "negative values") +
                         (negative > 0 ? " (correspondence analysis stops on them)" : "")
                   : count(negative, "missing value", "missing values");
  console.write(data_line);
  if (plan.variable_labels)
    console.write(name_of(names.variable_labels) + ": " +
                  count(d.variables, "variable label", "variable labels"));
  if (plan.object_labels)
    console.write(name_of(names.object_labels) + ": " +
                  count(d.objects, "object label", "object labels"));
  console.write("check passed with " + count(messages.warnings_given(), "warning", "warnings") +
                "; nothing was written");
}

}  // namespace orthaxis::driver
