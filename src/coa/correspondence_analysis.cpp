#include "coa/correspondence_analysis.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/cross_products.h"
#include "analysis/packed.h"
#include "plot/scatter_plot.h"
#include "results/object_groups.h"
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

}  // namespace

void correspondence_matrix(Table& t, std::span<float> matrix, input::ScratchFile& scratch,
                           std::span<float> row, analysis::WorkerPool* pool) {
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const float total = t.grand_total;
  for (std::size_t j = 0; j < p; ++j) t.column_totals[j] = t.column_totals[j] / total;
  for (std::size_t i = 0; i < n; ++i) t.row_totals[i] = t.row_totals[i] / total;
  // The matrix sums z(u) z(k) over the objects: the cross products of the
  // rows z, added on the pool a block at a time.
  analysis::CrossProductPass pass(p, pool);
  const std::span<float> x = row.first(p);
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    const float ti = t.row_totals[i];
    const std::span<float> z = pass.next_row();
    for (std::size_t u = 0; u < p; ++u) {
      const float proportion = x[u] / total;
      const float expected = t.column_totals[u] * ti;
      z[u] = (proportion - expected) / std::sqrt(expected);
    }
    pass.row_done();
  }
  pass.finish(matrix);
  scratch.rewind();
}

namespace {

struct Block {
  const textio::Format& heading;
  const char* file_text;
  const results::ScoreMatrix& scores;
};

// Heading, score file, listing and plot of one set of points.
void list_block(textio::Printer& print, const Block& b, textio::RecordFile& file,
                const std::string& data_file_name) {
  const results::ScoreMatrix& s = b.scores;
  const std::int32_t axes = s.axes();
  print.both(b.heading);
  file.write(std::string(b.file_text) + data_file_name);
  file.write(textio::free_format_record({s.points(), axes}));
  std::vector<float> scores(static_cast<std::size_t>(axes));
  for (std::int32_t i = 1; i <= s.points(); ++i) {
    for (std::int32_t k = 0; k < axes; ++k)
      scores[static_cast<std::size_t>(k)] = s.at(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(k));
    const std::span<const float> list(scores);
    const textio::Value record[] = {list};
    kScoreRecord.write(record, [&file](std::string_view r) { file.write(r); });
    if (s.labelled()) {
      print.console_then_report(kPointLineLabelled,
                                {i, s.label(static_cast<std::size_t>(i - 1)), list});
    } else {
      print.console_then_report(kPointLine, {i, list});
    }
  }
  if (axes > 1) plot::scatter_plot(s, 1, 2, print.console_device());
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

Scores correspondence_scores(textio::Printer& print, input::ScratchFile& scratch, const Table& t,
                             results::Eigensystem& eigen, const ScoreOptions& o,
                             std::vector<float> object_storage, std::span<float> row,
                             const ScoreFiles& files, analysis::WorkerPool* pool) {
  using results::ScoreLayout;
  using results::ScoreMatrix;
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const std::size_t r = static_cast<std::size_t>(o.axes);
  const float total = t.grand_total;
  Scores s{ScoreMatrix(std::move(object_storage), t.n, o.axes, ScoreLayout::kPointRows,
                       o.object_labels),
           ScoreMatrix(std::move(eigen.vectors), t.p, o.axes, ScoreLayout::kAxisColumns,
                       o.variable_labels)};
  auto v = [&](std::size_t j, std::size_t k) -> float& { return s.variables.at(j, k); };
  auto f = [&](std::size_t i, std::size_t k) -> float& { return s.objects.at(i, k); };

  std::vector<float> singular(r);
  for (std::size_t k = 0; k < r; ++k) singular[k] = std::sqrt(eigen.values[k]);
  for (std::size_t k = 0; k < r; ++k)
    for (std::size_t j = 0; j < p; ++j) v(j, k) = v(j, k) / std::sqrt(t.column_totals[j]);

  const std::span<float> x = row.first(p);
  const Block objects{kObjectHeading, " CoA obj. scores from ", s.objects};
  const Block variables{kVariableHeading, " CoA var. scores from ", s.variables};

  // f(i, k): the sum of x(j) v(j, k) in variable order over the object's
  // weight (and over the singular value), objects a group at a time on the
  // pool. The counts are never negative, so no value is taken for absent.
  auto object_block = [&] {
    scratch.rewind();
    results::score_in_blocks(
        scratch, n, p, pool,
        [&](const results::ObjectRun& run) {
          const auto group = std::make_unique_for_overwrite<float[]>(p * results::kGroup);
          float sums[results::kGroup];
          for (std::size_t g = 0; g < run.count; g += results::kGroup) {
            const std::size_t lanes = std::min(results::kGroup, run.count - g);
            results::interleave_group(run.rows + g * p, lanes, p, group.get());
            for (std::size_t k = 0; k < r; ++k) {
              results::sum_group(results::Divide::kNot, p, group.get(), &v(0, k), 0.0f, nullptr,
                                 sums);
              for (std::size_t l = 0; l < lanes; ++l) {
                const std::size_t i = run.first + g + l;
                f(i, k) = sums[l] / (t.row_totals[i] * total);
                if (o.scaling > 0) f(i, k) = f(i, k) / singular[k];
              }
            }
          }
        },
        [](const results::ObjectRun&) {});
    scratch.rewind();
    list_block(print, objects, files.objects, files.data_file_name);
  };
  auto variable_block = [&] { list_block(print, variables, files.variables, files.data_file_name); };

  if (o.scaling != 2) {
    variable_block();
    object_block();
    return s;
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
  return s;
}

}  // namespace orthaxis::coa
