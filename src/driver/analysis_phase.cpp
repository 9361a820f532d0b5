#include "driver/analysis_phase.h"

#include <algorithm>
#include <utility>

#include "analysis/jacobi.h"
#include "analysis/matrix_file.h"
#include "analysis/packed.h"
#include "analysis/statistics.h"
#include "driver/eigen_progress.h"
#include "driver/eigen_engines.h"
#include "driver/run.h"
#include "textio/units.h"
#include "driver/warnings.h"
#include "plot/scatter_plot.h"
#include "results/eigen_report.h"
#include "textio/format.h"

namespace orthaxis::driver {

namespace {

using textio::RecordFile;

const textio::Format kNoConvergence{
    "(//3X,'ABNORMAL TERMINATION. EIGENANALYSIS DOES NOT CONVERGE'//)"};

// With at least two axes, the points on axes 1 and 2, on the console.
void plot_first_plane(const RunContext& run, const results::ScoreMatrix& scores) {
  if (scores.axes() > 1) plot::scatter_plot(scores, 1, 2, run.console);
}

// The variables that set the zero-variance flag.
std::vector<std::size_t> no_spread(std::span<const float> sd) {
  std::vector<std::size_t> list;
  for (std::size_t j = 0; j < sd.size(); ++j)
    if (!analysis::has_spread(sd[j])) list.push_back(j);
  return list;
}

std::vector<float> packed_diagonal(std::size_t p, std::span<const float> a) {
  std::vector<float> d(p);
  for (std::size_t j = 1; j <= p; ++j) d[j - 1] = a[analysis::packed_index(j, j)];
  return d;
}

Eigenanalysis reported(const RunContext& run, RunFiles& files, const DataShape& shape,
                       Eigenanalysis e);

}  // namespace

Resemblance resemblance_matrix(const RunContext& run, RunFiles& files, const DataShape& shape,
                               DataSummary d, const RunLabels& labels) {
  const RunPlan& plan = run.plan;
  Resemblance r;
  r.sd.assign(static_cast<std::size_t>(shape.p), 0.0f);
  analysis::Statistics stats{d.sum, r.sd, d.count, 0.0f, false};
  analysis::finish_statistics(plan.type, shape.p, d.pair_sums(), stats);
  const analysis::Labels statistics_labels{plan.variable_labels, labels.variables};
  if (!analysis::report_statistics(run.print, plan.type, shape.p, d.matrix, stats,
                                   statistics_labels)) {
    if (plan.person && stats.zero_variance)
      warn_no_spread(run.messages, no_spread(r.sd), VariableNames{labels.variables});
    throw AnalysisStop();
  }
  if (plan.detailed)
    analysis::print_resemblance(run.print, shape.p, d.matrix, d.row, statistics_labels);
  if (plan.matrix == MatrixFile::kWritten)
    analysis::write_matrix_file(files.matrix, shape.title, shape.p, d.matrix);
  if (plan.keeps_diagonal()) r.diagonal = packed_diagonal(static_cast<std::size_t>(shape.p), d.matrix);
  r.matrix = std::move(d.matrix);
  r.pairs = std::move(d.pairs);
  r.vectors = std::move(d.vectors);
  r.mean = std::move(d.sum);  // the sums became the means
  r.count = std::move(d.count);
  r.object_ssq = std::move(d.object_ssq);
  return r;
}

Resemblance correspondence_matrix(const RunContext& run, RunFiles& files,
                                  const DataShape& shape, DataSummary d) {
  Resemblance r;
  r.row_total = std::move(d.row_total);
  r.column_total = std::move(d.sum);
  r.table = {shape.n, shape.p, r.column_total, r.row_total, d.grand_total};
  if (!coa::check_table(run.print, r.table, d.first_negative)) throw AnalysisStop();
  if (run.plan.without_square_storage(shape.n, shape.p)) {
    // The eigen engine forms the rows of residuals itself (residual_rows).
    r.matrix = std::move(d.matrix);
    return r;
  }
  coa::correspondence_matrix(r.table, d.matrix, *files.scratch, d.row, &run.pool);
  if (!analysis::check_resemblance(run.print, shape.p, d.matrix)) throw AnalysisStop();
  r.matrix = std::move(d.matrix);
  r.pairs = std::move(d.pairs);  // held as in a PCA run, which the memory check counts
  r.vectors = std::move(d.vectors);
  return r;
}

Eigenanalysis eigenanalysis(const RunContext& run, RunFiles& files, const DataShape& shape,
                            Resemblance& r) {
  if (run.plan.lapack()) return reported(run, files, shape, lapack_eigenanalysis(run, files, shape, r));
  const std::int32_t p = shape.p;
  textio::Messages& messages = run.messages;
  if (messages.progress()) messages.start_step();
  EigenProgress progress(run.console, messages.progress() ? &messages : nullptr);
  const analysis::Convergence convergence =
      analysis::jacobi(p, r.matrix, r.vectors, &progress, &run.pool);
  messages.clear_progress();
  if (convergence != analysis::Convergence::kConverged) {
    run.print.both(kNoConvergence);
    throw AnalysisStop();
  }
  return reported(run, files, shape,
                  {results::Eigensystem::from_diagonal(p, r.matrix, std::move(r.vectors)), 0,
                   std::move(r.matrix)});
}

namespace {
// The eigenvalue report, its files and the retained axes, from either engine.
Eigenanalysis reported(const RunContext& run, RunFiles& files, const DataShape& shape,
                       Eigenanalysis e) {
  textio::Messages& messages = run.messages;
  const std::int32_t p = shape.p;
  results::print_eigenvalues(run.print, e.eigen);
  RecordFile values(textio::units::kEigen, run.dir, results::kEigenvalueFile, RecordFile::Open::kReplace);
  results::write_eigenvalue_file(values, e.eigen);
  values.close();
  results::print_eigenvalue_sums(run.print, e.eigen);
  files.eigenvectors =
      RecordFile(textio::units::kEigen, run.dir, results::kEigenvectorFile, RecordFile::Open::kReplace);
  results::list_eigenvectors(run.print, e.eigen, files.eigenvectors);
  e.q = std::min(run.plan.components, e.eigen.positive_count);
  warn_axes_lowered(messages, run.plan.components, e.eigen.positive_count);
  messages.show("scores of " + std::to_string(shape.n) + " objects and " + std::to_string(p) +
                " variables");
  files.object_scores = RecordFile(textio::units::kObjectScores, run.dir, name_of(run.names.object_scores),
                                   RecordFile::Open::kReplace);
  return e;
}
}  // namespace

results::PcaModel pca_model(const RunContext& run, RunFiles& files, const Resemblance& r) {
  results::PcaModel m;
  m.type = run.plan.type;
  m.n = static_cast<std::int32_t>(r.object_ssq.size());
  m.p = static_cast<std::int32_t>(r.mean.size());
  m.scratch = files.scratch.get();
  m.mean = r.mean;
  m.sd = r.sd;
  m.count = r.count;
  m.object_ssq = r.object_ssq;
  return m;
}

Scores principal_component_scores(const RunContext& run, RunFiles& files, const DataShape& shape,
                                  const Resemblance& r, Eigenanalysis& e,
                                  const RunLabels& labels) {
  const RunPlan& plan = run.plan;
  const results::PcaModel m = pca_model(run, files, r);
  const results::ScoreRequest objects{e.q, plan.object_score_norm, false, labels.objects};
  results::ObjectScores o =
      results::object_scores({run.print, files.object_scores, shape.title, &run.pool}, m,
                             e.eigen, objects, std::move(e.storage));
  plot_first_plane(run, o.scores);
  const results::ScoreRequest variables{e.q, plan.variable_score_option, plan.detailed,
                                        labels.variables};
  results::ScoreMatrix g = results::variable_scores(
      {run.print, files.variable_scores, shape.title, &run.pool}, m, e.eigen, variables, o);
  plot_first_plane(run, g);
  return {std::move(o.scores), std::move(g)};
}

Scores correspondence_scores(const RunContext& run, RunFiles& files, const Resemblance& r,
                             Eigenanalysis& e, const RunLabels& labels) {
  const coa::ScoreOptions o{e.q, run.plan.coa_scaling, labels.objects, labels.variables};
  const coa::ScorePass pass{*files.scratch, r.table, &run.pool};
  const coa::ScoreListing object_listing{run.print, files.object_scores, run.names.data};
  const coa::ScoreListing variable_listing{run.print, files.variable_scores, run.names.data};
  Scores s;
  s.variables = coa::variable_coordinates(r.table, e.eigen, o);
  if (o.scaling != 2) {
    coa::list_variable_scores(variable_listing, s.variables);
    plot_first_plane(run, s.variables);
  }
  s.objects = coa::object_coordinates(pass, e.eigen, o, s.variables, std::move(e.storage));
  coa::list_object_scores(object_listing, s.objects);
  plot_first_plane(run, s.objects);
  if (o.scaling == 2) {
    // Variables at the centroids of the objects.
    coa::variables_at_centroids(pass, s.objects, s.variables);
    coa::list_variable_scores(variable_listing, s.variables);
    plot_first_plane(run, s.variables);
  }
  run.console.write(textio::free_format_record({}));
  run.console.write(textio::free_format_record({"  JOB TERMINATED"}));
  return s;
}

}  // namespace orthaxis::driver
