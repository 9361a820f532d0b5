#include "driver/axes_phase.h"

#include <cmath>
#include <exception>
#include <string>
#include <vector>

#include "analysis/replicates.h"
#include "textio/output_file.h"
#include "textio/units.h"
#include "export/csv.h"
#include "textio/record_file.h"

namespace orthaxis::driver {

namespace {

constexpr std::size_t kChunkRows = 4096;

// The data of the run from the scratch file, in memory: row after row, or
// column after column.
analysis::WorkArray read_data(input::ScratchFile& scratch, std::size_t n, std::size_t p,
                              bool by_columns) {
  analysis::WorkArray data(n * p);
  analysis::WorkArray chunk(by_columns ? kChunkRows * p : 0);
  std::exception_ptr failure;
  scratch.rewind();
  for (std::size_t first = 0; first < n; first += kChunkRows) {
    const std::size_t rows = std::min(kChunkRows, n - first);
    float* const out = by_columns ? chunk.data() : data.data() + first * p;
    if (scratch.read_rows_at(first, rows, p, out, failure) < rows) std::rethrow_exception(failure);
    if (!by_columns) continue;
    for (std::size_t c = 0; c < p; ++c)
      for (std::size_t t = 0; t < rows; ++t) data[c * n + first + t] = chunk[t * p + c];
  }
  return data;
}

analysis::ReplicateRun replicate_run(const RunContext& run) {
  textio::Messages& messages = run.messages;
  const std::int32_t count = run.plan.axes_test;
  messages.start_step();
  return {count, run.plan.seed, &run.pool, [&messages, count](std::int32_t done) {
            if (done != count && !messages.update_due()) return;
            messages.show("axes test: replicate " + std::to_string(done) + " of " +
                          std::to_string(count));
          }};
}

std::vector<float> pca_replicates(const RunContext& run, RunFiles& files, const Finished& f) {
  const Resemblance& r = f.resemblance;
  const std::int32_t n = static_cast<std::int32_t>(r.object_ssq.size());
  const std::int32_t p = static_cast<std::int32_t>(r.mean.size());
  const analysis::WorkArray columns =
      read_data(*files.scratch, static_cast<std::size_t>(n), static_cast<std::size_t>(p), true);
  return analysis::pca_replicates(run.plan.type, n, p, columns, replicate_run(run));
}

// Correspondence analysis: the replicates need a table of whole numbers.
std::optional<std::vector<float>> coa_replicates(const RunContext& run, RunFiles& files,
                                                 const Finished& f,
                                                 results::ChiSquareTest& chi_square) {
  const coa::Table& t = f.resemblance.table;
  const std::size_t n = static_cast<std::size_t>(t.n), p = static_cast<std::size_t>(t.p);
  const analysis::WorkArray rows = read_data(*files.scratch, n, p, false);
  std::vector<std::int64_t> row_total(n, 0), column_total(p, 0);
  analysis::UnsetVector<double> table(n * p);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < p; ++j) {
      const float x = rows[i * p + j];
      if (!(x == std::floor(x)) || x > 16777216.0f) {
        run.messages.line("axes test: the correspondence table holds " + csv::number(x) +
                          " (object " + std::to_string(i + 1) + ", variable " +
                          std::to_string(j + 1) +
                          "), not a count; random tables with its margins need whole "
                          "numbers, so there is no axes test");
        return std::nullopt;
      }
      const std::int64_t count = static_cast<std::int64_t>(x);
      row_total[i] += count;
      column_total[j] += count;
      table[i * p + j] = x;
    }
  }
  chi_square = results::chi_square_test(t.n, t.p, table);
  const analysis::Margins m{row_total, column_total, t.row_totals, t.column_totals,
                            t.grand_total};
  return analysis::coa_replicates(m, replicate_run(run));
}

}  // namespace

std::optional<results::AxesAssessment> axes_test(const RunContext& run, RunFiles& files,
                                                 const Finished& f) {
  results::ChiSquareTest chi_square;
  std::optional<std::vector<float>> values;
  try {
    if (run.plan.correspondence())
      values = coa_replicates(run, files, f, chi_square);
    else
      values = pca_replicates(run, files, f);
  } catch (const analysis::ReplicateFailure& e) {
    run.messages.line(std::string("axes test: ") + e.what() + ", so there is no axes test");
  }
  files.scratch->rewind();
  run.messages.clear_progress();
  if (!values) return std::nullopt;
  results::AxesAssessment a =
      results::assess_axes(f.eigen, *values, run.plan.axes_test, run.plan.seed);
  a.correspondence = run.plan.correspondence();
  a.chi_square = chi_square;
  run.messages.line(results::summary_line(a));
  return a;
}

void write_axes_table(const RunContext& run, const results::AxesAssessment& a) {
  textio::OutputFile file(textio::units::kAxesTable, run.dir, kAxesTable);
  results::axes_table(a, [&file](std::string_view record) { file.write(record); });
  file.close();
}

svg::ScreeOverlay scree_overlay(const results::AxesAssessment& a,
                                const results::Eigensystem& eigen) {
  svg::ScreeOverlay o;
  for (const results::AxisAssessment& x : a.axes) {
    o.broken_stick.push_back(x.broken_stick);
    o.pa_q95.push_back(x.pa_q95 * 100.0f / eigen.positive_sum);
  }
  return o;
}

}  // namespace orthaxis::driver
