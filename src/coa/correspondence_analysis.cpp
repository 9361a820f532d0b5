#include "coa/correspondence_analysis.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/cross_products.h"
#include "analysis/packed.h"
#include "results/scores.h"
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

namespace {

// The totals as proportions of the grand total.
void to_proportions(Table& t) {
  const float total = t.grand_total;
  for (std::size_t j = 0; j < static_cast<std::size_t>(t.p); ++j)
    t.column_totals[j] = t.column_totals[j] / total;
  for (std::size_t i = 0; i < static_cast<std::size_t>(t.n); ++i)
    t.row_totals[i] = t.row_totals[i] / total;
}

}  // namespace

void standardized_residuals(const Table& t, std::size_t i, std::span<const float> x,
                            std::span<float> z) {
  const float total = t.grand_total;
  const float ti = t.row_totals[i];
  for (std::size_t u = 0; u < x.size(); ++u) {
    const float proportion = x[u] / total;
    const float expected = t.column_totals[u] * ti;
    z[u] = (proportion - expected) / std::sqrt(expected);
  }
}

void correspondence_matrix(Table& t, std::span<float> matrix, input::ScratchFile& scratch,
                           std::span<float> row, analysis::WorkerPool* pool) {
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  to_proportions(t);
  // The matrix sums z(u) z(k) over the objects: the cross products of the
  // rows z, added on the pool a block at a time.
  analysis::CrossProductPass pass(p, pool);
  const std::span<float> x = row.first(p);
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    standardized_residuals(t, i, x, pass.next_row());
    pass.row_done();
  }
  pass.finish(matrix);
  scratch.rewind();
}

bool residual_rows(Table& t, input::ScratchFile& scratch, std::span<double> zt) {
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  to_proportions(t);
  std::vector<float> x(p), z(p);
  bool finite = true;
  scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    standardized_residuals(t, i, x, z);
    for (std::size_t u = 0; u < p; ++u) {
      finite = finite && std::isfinite(z[u]);
      zt[i * p + u] = static_cast<double>(z[u]);
    }
  }
  scratch.rewind();
  return finite;
}

namespace {

// Heading, score file and listing of one set of points.
void list_block(const ScoreListing& out, const textio::Format& heading, const char* file_text,
                const results::ScoreMatrix& s) {
  const std::int32_t axes = s.axes();
  out.print.both(heading);
  out.file.write(std::string(file_text) + out.data_file_name);
  out.file.write(textio::free_format_record({s.points(), axes}));
  std::vector<float> scores(static_cast<std::size_t>(axes));
  for (std::int32_t i = 1; i <= s.points(); ++i) {
    for (std::int32_t k = 0; k < axes; ++k)
      scores[static_cast<std::size_t>(k)] = s.at(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(k));
    const std::span<const float> list(scores);
    const textio::Value record[] = {list};
    kScoreRecord.write(record, [&out](std::string_view r) { out.file.write(r); });
    if (s.labelled()) {
      out.print.console_then_report(kPointLineLabelled,
                                    {i, s.label(static_cast<std::size_t>(i - 1)), list});
    } else {
      out.print.console_then_report(kPointLine, {i, list});
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

void list_object_scores(const ScoreListing& out, const results::ScoreMatrix& objects) {
  list_block(out, kObjectHeading, " CoA obj. scores from ", objects);
}

void list_variable_scores(const ScoreListing& out, const results::ScoreMatrix& variables) {
  list_block(out, kVariableHeading, " CoA var. scores from ", variables);
}

results::ScoreMatrix variable_coordinates(const Table& t, const results::Eigensystem& eigen,
                                          const ScoreOptions& o) {
  results::ScoreMatrix v = results::leading_vectors(eigen, o.axes, o.variable_labels);
  for (std::size_t k = 0; k < static_cast<std::size_t>(o.axes); ++k)
    for (std::size_t j = 0; j < static_cast<std::size_t>(t.p); ++j)
      v.at(j, k) = v.at(j, k) / std::sqrt(t.column_totals[j]);
  return v;
}

// f(i, k): the sum of x(j) v(j, k) in variable order over the object's
// weight (and over the singular value), objects a group at a time on the
// pool. The counts are never negative, so no value is taken for absent.
results::ScoreMatrix object_coordinates(const ScorePass& pass, const results::Eigensystem& eigen,
                                        const ScoreOptions& o, const results::ScoreMatrix& v,
                                        analysis::WorkArray storage) {
  const Table& t = pass.table;
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const std::size_t r = static_cast<std::size_t>(o.axes);
  const float total = t.grand_total;
  results::ScoreMatrix f(std::move(storage), t.n, o.axes, results::ScoreLayout::kPointRows,
                         o.object_labels);
  std::vector<float> singular(r);
  for (std::size_t k = 0; k < r; ++k) singular[k] = std::sqrt(eigen.values[k]);
  pass.scratch.rewind();
  results::score_in_blocks(
      pass.scratch, n, p, pass.pool,
      [&](const results::ObjectRun& run) {
        const auto group = std::make_unique_for_overwrite<float[]>(p * results::kGroup);
        float sums[results::kGroup];
        for (std::size_t g = 0; g < run.count; g += results::kGroup) {
          const std::size_t lanes = std::min(results::kGroup, run.count - g);
          results::interleave_group(run.rows + g * p, lanes, p, group.get());
          for (std::size_t k = 0; k < r; ++k) {
            results::sum_group(results::Divide::kNot, p, group.get(), v.axis(k).data(), 0.0f, nullptr,
                               sums);
            for (std::size_t l = 0; l < lanes; ++l) {
              const std::size_t i = run.first + g + l;
              f.at(i, k) = sums[l] / (t.row_totals[i] * total);
              if (o.scaling > 0) f.at(i, k) = f.at(i, k) / singular[k];
            }
          }
        }
      },
      [](const results::ObjectRun&) {});
  pass.scratch.rewind();
  return f;
}

void variables_at_centroids(const ScorePass& pass, const results::ScoreMatrix& objects,
                            results::ScoreMatrix& v) {
  const Table& t = pass.table;
  const std::size_t n = static_cast<std::size_t>(t.n);
  const std::size_t p = static_cast<std::size_t>(t.p);
  const std::size_t r = static_cast<std::size_t>(v.axes());
  const float total = t.grand_total;
  for (std::size_t k = 0; k < r; ++k)
    for (std::size_t j = 0; j < p; ++j) v.at(j, k) = 0.0f;
  std::vector<float> x(p);
  pass.scratch.rewind();
  for (std::size_t i = 0; i < n; ++i) {
    pass.scratch.read_row(x);
    for (std::size_t k = 0; k < r; ++k) {
      const float score = objects.at(i, k);
      for (std::size_t j = 0; j < p; ++j)
        v.at(j, k) = v.at(j, k) + x[j] * score / (t.column_totals[j] * total);
    }
  }
  pass.scratch.rewind();
}

}  // namespace orthaxis::coa
