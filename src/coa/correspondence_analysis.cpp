#include "coa/correspondence_analysis.h"

#include <cmath>
#include <vector>

#include "analysis/packed.h"
#include "plot/scatter_plot.h"
#include "textio/free_format.h"

namespace orthaxis::coa {

namespace {
const textio::Format kNegativeValue{
    "(//3X,'ABNORMAL TERMINATION. NEGATIVE VALUE IN OBJECT',I6,', VARIABLE',I6//)"};
const textio::Format kZeroObject{"(//3X,'ABNORMAL TERMINATION. ZERO TOTAL FOR OBJECT',I6//)"};
const textio::Format kZeroVariable{
    "(//3X,'ABNORMAL TERMINATION. ZERO TOTAL FOR VARIABLE',I6//)"};
const textio::Format kObjectHeading{"(///' SCORES FOR OBJECTS'/)"};
const textio::Format kVariableHeading{"(///' SCORES FOR VARIABLES'/)"};
const textio::Format kPointLine{"(I5,5F12.3/(5X,5F12.3))"};
const textio::Format kPointLineLabelled{"(I4,1X,A8,1X,5F12.3/(14X,5F12.3))"};
const textio::Format kScoreRecord{"(8F10.4)"};

// Phase 1: proportions and the packed matrix Z'Z of standardized residuals.
void build_matrix(Table& t, Scores& s, input::ScratchFile& scratch, std::span<float> row) {
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const float total = t.grand_total;
  for (std::size_t j = 0; j < p; ++j) t.column_totals[j] = t.column_totals[j] / total;
  for (std::size_t i = 0; i < n; ++i) t.row_totals[i] = t.row_totals[i] / total;
  const std::size_t len = analysis::packed_length(p);
  for (std::size_t k = 0; k < len; ++k) s.matrix[k] = 0.0f;
  const std::span<float> x = row.first(p);
  std::vector<float> z(p);
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    const float ti = t.row_totals[i];
    for (std::size_t u = 0; u < p; ++u) {
      const float proportion = x[u] / total;
      const float expected = t.column_totals[u] * ti;
      z[u] = (proportion - expected) / std::sqrt(expected);
    }
    for (std::size_t k = 1; k <= p; ++k) {
      float* out = s.matrix.data() + analysis::packed_index(k, 1);
      const float zk = z[k - 1];
      for (std::size_t u = 0; u < k; ++u) out[u] = out[u] + z[u] * zk;
    }
  }
  scratch.rewind();
}

struct Block {
  const textio::Format& heading;
  const char* file_text;
  std::int32_t points;
  bool labelled;
  std::span<const std::string> labels;
};

// Heading, score file and listing of one set of points; `value(point, axis)`
// gives a score (0-based).
template <typename Value>
void list_block(textio::Printer& print, const Block& b, std::int32_t axes,
                textio::RecordFile& file, const std::string& data_file_name, Value value) {
  print.both(b.heading);
  file.write(std::string(b.file_text) + data_file_name);
  file.write(textio::free_format_record({b.points, axes}));
  std::vector<float> scores(static_cast<std::size_t>(axes));
  for (std::int32_t i = 1; i <= b.points; ++i) {
    for (std::int32_t k = 0; k < axes; ++k)
      scores[static_cast<std::size_t>(k)] = value(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(k));
    const std::span<const float> list(scores);
    const textio::Value record[] = {list};
    kScoreRecord.write(record, [&file](std::string_view r) { file.write(r); });
    if (b.labelled) {
      print.console_then_report(kPointLineLabelled,
                                {i, b.labels[static_cast<std::size_t>(i - 1)], list});
    } else {
      print.console_then_report(kPointLine, {i, list});
    }
  }
}

}  // namespace

bool check_table(textio::Printer& print, const Table& t, FirstNegative negative) {
  if (negative.object != 0) {
    print.both(kNegativeValue, {static_cast<std::int32_t>(negative.object),
                                static_cast<std::int32_t>(negative.variable)});
    return false;
  }
  for (std::int32_t i = 1; i <= t.n; ++i) {
    if (t.row_totals[static_cast<std::size_t>(i - 1)] == 0.0f) {
      print.both(kZeroObject, {i});
      return false;
    }
  }
  for (std::int32_t j = 1; j <= t.p; ++j) {
    if (t.column_totals[static_cast<std::size_t>(j - 1)] == 0.0f) {
      print.both(kZeroVariable, {j});
      return false;
    }
  }
  return true;
}

void correspondence_analysis(std::int32_t phase, Table& t, Scores& s, textio::Printer& print,
                             input::ScratchFile& scratch, std::span<float> row,
                             textio::RecordFile& object_file, textio::RecordFile& variable_file,
                             const std::string& data_file_name) {
  if (phase == 1) {
    build_matrix(t, s, scratch, row);
    return;
  }
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const std::size_t r = static_cast<std::size_t>(s.axes);
  const float total = t.grand_total;
  auto v = [&](std::size_t j, std::size_t k) -> float& { return s.eigenvectors[k * p + j]; };
  auto f = [&](std::size_t i, std::size_t k) -> float& { return s.matrix[i * r + k]; };

  for (std::size_t k = 0; k < r; ++k) s.eigenvalues[k] = std::sqrt(s.eigenvalues[k]);
  for (std::size_t k = 0; k < r; ++k)
    for (std::size_t j = 0; j < p; ++j) v(j, k) = v(j, k) / std::sqrt(t.column_totals[j]);

  const std::span<float> x = row.first(p);
  const Block objects{kObjectHeading, " CoA obj. scores from ", t.n, s.object_labels,
                      s.object_label_text};
  const Block variables{kVariableHeading, " CoA var. scores from ", t.p, s.variable_labels,
                        s.variable_label_text};

  auto object_block = [&] {
    scratch.rewind();
    for (std::size_t i = 0; i < n; ++i) {
      scratch.read_row(x);
      const float weight = t.row_totals[i] * total;
      for (std::size_t k = 0; k < r; ++k) {
        float sum = 0.0f;
        for (std::size_t j = 0; j < p; ++j) sum = sum + x[j] * v(j, k);
        f(i, k) = sum / weight;
        if (s.scaling > 0) f(i, k) = f(i, k) / s.eigenvalues[k];
      }
    }
    scratch.rewind();
    list_block(print, objects, s.axes, object_file, data_file_name,
               [&](std::size_t i, std::size_t k) { return f(i, k); });
    if (s.axes > 1) {
      plot::scatter_plot(1, 2, t.n, 1, s.axes, s.matrix, s.eigenvectors, print.console_device());
    }
  };
  auto variable_block = [&] {
    list_block(print, variables, s.axes, variable_file, data_file_name,
               [&](std::size_t j, std::size_t k) { return v(j, k); });
    if (s.axes > 1) {
      plot::scatter_plot(1, 2, t.p, 2, s.axes, s.matrix, s.eigenvectors, print.console_device());
    }
  };

  if (s.scaling != 2) {
    variable_block();
    object_block();
    return;
  }
  object_block();
  // Variables at the centroids of the objects.
  for (std::size_t k = 0; k < r; ++k)
    for (std::size_t j = 0; j < p; ++j) v(j, k) = 0.0f;
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    for (std::size_t k = 0; k < r; ++k) {
      const float score = f(i, k);
      for (std::size_t j = 0; j < p; ++j)
        v(j, k) = v(j, k) + x[j] * score / (t.column_totals[j] * total);
    }
  }
  scratch.rewind();
  variable_block();
}

}  // namespace orthaxis::coa
