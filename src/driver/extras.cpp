#include "driver/extras.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "driver/axes_phase.h"
#include "driver/summary.h"
#include "driver/supplementary_phase.h"
#include "export/charts.h"
#include "export/csv.h"
#include "export/supplementary_csv.h"
#include "export/html.h"
#include "export/label_choice.h"
#include "export/svg.h"
#include "results/quality.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

// The quality of representation of every point, from one more pass over
// the data.
results::Quality quality(const RunContext& run, RunFiles& files, const Finished& f) {
  const std::int32_t q = f.scores.objects.axes();
  if (run.plan.correspondence()) {
    const coa::Table& t = f.resemblance.table;
    return results::coa_quality(*files.scratch, {t.row_totals, t.column_totals}, f.eigen, q);
  }
  return results::pca_quality(pca_model(run, files, f.resemblance), f.eigen,
                              f.resemblance.diagonal, q);
}

// The masses of the points: the table's proportions for correspondence
// analysis, equal weights (empty) for PCA.
struct Masses {
  std::span<const float> objects, variables;
};
Masses masses(const RunContext& run, const Finished& f) {
  if (!run.plan.correspondence()) return {};
  return {f.resemblance.table.row_totals, f.resemblance.table.column_totals};
}

// What the tables, pictures and page read beside the scores, computed once:
// the quality and the contribution of every point to each axis.
struct PointMeasures {
  results::Quality cos2;
  results::ScoreMatrix object_ctr, variable_ctr;
};

void write_tables(const RunContext& run, const Finished& f, const PointMeasures& m) {
  const results::Quality& cos2 = m.cos2;
  csv::write_tables(
      run.dir, f.eigen,
      {f.scores.objects, cos2.objects, {}, f.labels.object_lines, &m.object_ctr},
      {f.scores.variables, cos2.variables, {}, f.labels.variable_lines, &m.variable_ctr});
  if (f.supplementary != nullptr && f.supplementary->placed) {
    const SupplementaryRun& s = *f.supplementary;
    csv::write_supplementary_tables(run.dir, {s.data, s.objects, s.variables, s.levels,
                                              f.scores.objects.axes()});
  }
}

// The points' quality and contribution on the plane of axes a and b; the
// plane's contribution weighs each axis' by its eigenvalue.
struct PlaneValues {
  std::vector<double> cos2, contrib;
};
PlaneValues plane_values(const results::ScoreMatrix& cos2, const results::ScoreMatrix& ctr,
                         const results::Eigensystem& eigen, std::size_t a, std::size_t b) {
  PlaneValues v;
  const double la = eigen.values[a], lb = eigen.values[b];
  for (std::size_t i = 0; i < static_cast<std::size_t>(cos2.points()); ++i) {
    v.cos2.push_back(double{cos2.at(i, a)} + double{cos2.at(i, b)});
    v.contrib.push_back((double{ctr.at(i, a)} * la + double{ctr.at(i, b)} * lb) / (la + lb));
  }
  return v;
}

// The supplementary elements on the biplot's plane, the objects coloured by
// the levels of the chosen qualitative variable (the first when none is chosen).
svg::Overlay supplementary_overlay(const RunContext& run, const SupplementaryRun& s) {
  const auto a1 = static_cast<std::size_t>(run.plan.plane1);
  const auto a2 = static_cast<std::size_t>(run.plan.plane2);
  svg::Overlay o;
  auto point = [&](const results::SupplementaryPoints& p, std::size_t i, std::string label) {
    return svg::OverlayPoint{p.coordinate(i, a1), p.coordinate(i, a2), std::move(label)};
  };
  for (std::size_t i = 0; i < static_cast<std::size_t>(s.objects.points); ++i)
    o.objects.push_back(point(s.objects, i,
                              s.data.object_labels[i].empty() ? std::to_string(s.data.object_index[i])
                                                              : s.data.object_labels[i]));
  for (std::size_t j = 0; j < static_cast<std::size_t>(s.variables.points); ++j)
    o.variables.push_back(point(s.variables, j, s.data.variable_names[j]));
  const auto& qualitative = s.data.qualitative;
  if (qualitative.empty()) return o;
  std::size_t chosen = 0;
  if (!run.plan.groups.empty()) {
    std::size_t k = 0;
    while (k < qualitative.size() && qualitative[k].name != run.plan.groups) ++k;
    if (k < qualitative.size())
      chosen = k;
    else
      run.messages.warning("--groups: no qualitative variable is named \"" + run.plan.groups +
                           "\"; the objects are coloured by \"" + qualitative[0].name + "\"");
  }
  const input::QualitativeColumn& q = qualitative[chosen];
  o.grouping = q.name;
  o.levels = q.levels;
  o.groups = q.codes;
  for (const results::LevelPoint& l : s.levels)
    if (l.variable == q.name && l.coord.size() > std::max(a1, a2))
      o.centroids.push_back({l.coord[a1], l.coord[a2], l.level});
  return o;
}

// Whether the supplementary table `name` is written for these elements.
bool supplementary_table_written(const SupplementaryRun& s, std::string_view name) {
  if (name == csv::kSupplementaryObjectTable) return s.objects.points > 0;
  if (name == csv::kSupplementaryVariableTable) return s.variables.points > 0;
  return !s.levels.empty();
}

bool plane_retained(const RunPlan& plan, std::int32_t q) {
  return q >= 2 && plan.plane1 < q && plan.plane2 < q;
}

// The biplot of the plan's plane with its labels chosen and the
// supplementary elements laid over it, for the picture and the page. Its
// axes stay beyond the retained ones, and nothing is drawn, when the plane
// is not retained. The biplot points into the flags and the overlay beside
// it, so the whole stays where it is built.
struct BiplotParts {
  std::vector<char> object_flags, variable_flags;
  svg::Overlay overlay;
  svg::Biplot biplot;

  BiplotParts(const RunContext& run, const Finished& f, const PointMeasures& m)
      : biplot{f.scores.objects, f.scores.variables, f.labels.object_lines,
               f.labels.variable_lines} {
    const RunPlan& plan = run.plan;
    svg::Biplot& b = biplot;
    b.arrows = !plan.correspondence();
    b.axis1 = plan.plane1;
    b.axis2 = plan.plane2;
    const std::int32_t q = f.scores.objects.axes();
    if (plan.plane1 >= q || plan.plane2 >= q) return;
    const auto a1 = static_cast<std::size_t>(b.axis1), a2 = static_cast<std::size_t>(b.axis2);
    b.percent1 = f.eigen.percent(a1);
    b.percent2 = f.eigen.percent(a2);
    const PlaneValues objects = plane_values(m.cos2.objects, m.object_ctr, f.eigen, a1, a2);
    const PlaneValues variables = plane_values(m.cos2.variables, m.variable_ctr, f.eigen, a1, a2);
    object_flags = svg::chosen_labels(plan.labels, objects.cos2.size(), objects.cos2,
                                      objects.contrib,
                                      f.scores.objects.points() <= svg::kLabelledObjectLimit);
    variable_flags = svg::chosen_labels(plan.labels, variables.cos2.size(), variables.cos2,
                                        variables.contrib, true);
    b.object_labelled = object_flags;
    b.variable_labelled = variable_flags;
    if (f.supplementary != nullptr && f.supplementary->placed && plane_retained(plan, q)) {
      overlay = supplementary_overlay(run, *f.supplementary);
      b.overlay = &overlay;
    }
  }
  BiplotParts(const BiplotParts&) = delete;
  BiplotParts& operator=(const BiplotParts&) = delete;
};

void draw_pictures(const RunContext& run, const Finished& f, const BiplotParts& biplot,
                   const svg::ScreeOverlay* scree) {
  const std::int32_t q = f.scores.objects.axes();
  const RunPlan& plan = run.plan;
  if (q < 2)
    run.messages.warning("no biplot was drawn: the run retained fewer than two axes");
  else if (!plane_retained(plan, q))
    run.messages.warning("--plane " + std::to_string(plan.plane1 + 1) + "," +
                         std::to_string(plan.plane2 + 1) + ": only " + std::to_string(q) +
                         " axes are retained; no biplot is drawn");
  svg::write_pictures(run.dir, biplot.biplot, f.eigen, scree);
}

// The page without the report's text, which the run adds once the report
// is complete.
html::Parts page(const RunContext& run, const Finished& f, const PointMeasures& m,
                 const BiplotParts& parts) {
  const results::Quality& cos2 = m.cos2;
  const results::ScoreMatrix& object_ctr = m.object_ctr;
  const results::ScoreMatrix& variable_ctr = m.variable_ctr;
  const std::int32_t q = f.scores.objects.axes();
  svg::Biplot b = parts.biplot;
  b.thin_cell = html::kPageThinCell;
  std::vector<std::size_t> object_rows(static_cast<std::size_t>(f.scores.objects.points()));
  for (std::size_t i = 0; i < object_rows.size(); ++i) object_rows[i] = i;
  std::vector<std::size_t> variable_rows(static_cast<std::size_t>(f.scores.variables.points()));
  for (std::size_t j = 0; j < variable_rows.size(); ++j) variable_rows[j] = j;
  std::string biplot;
  if (plane_retained(run.plan, q)) {
    biplot = svg::biplot(b);
    if (f.scores.objects.points() > svg::kThinnedObjectLimit) object_rows = svg::drawn_objects(b);
  }
  const std::span<const std::string> object_labels =
      f.labels.object_lines.empty() ? std::span<const std::string>() : f.labels.object_lines;
  html::Page p{name_of(run.names.data), std::string(f.title),
               analysis_name(run.plan.type), f.scores.objects.points(), f.scores.variables.points(),
               f.missing, run.messages.warnings_given(), f.eigen, svg::scree(f.eigen), biplot,
               b.axis1, b.axis2, "",
               {f.scores.objects, cos2.objects, object_ctr, object_labels, object_rows},
               {f.scores.variables, cos2.variables, variable_ctr, f.labels.variable_lines,
                variable_rows}};
  return html::page(p);
}

// The correlation of each variable with the two axes drawn: the square root
// of its quality on each, with the sign of its score.
void draw_correlation_circle(const RunContext& run, const Finished& f,
                             const results::Quality& cos2) {
  const auto a1 = static_cast<std::size_t>(run.plan.plane1), a2 = static_cast<std::size_t>(run.plan.plane2);
  const results::ScoreMatrix& g = f.scores.variables;
  std::vector<double> x, y;
  for (std::size_t j = 0; j < static_cast<std::size_t>(g.points()); ++j) {
    x.push_back(std::copysign(std::sqrt(double{cos2.variables.at(j, a1)}), double{g.at(j, a1)}));
    y.push_back(std::copysign(std::sqrt(double{cos2.variables.at(j, a2)}), double{g.at(j, a2)}));
  }
  svg::CorrelationCircle c{x, y, f.labels.variable_lines, run.plan.plane1, run.plan.plane2,
                           f.eigen.percent(a1), f.eigen.percent(a2)};
  svg::write_svg(run.dir, textio::units::kCorrelationCircle, svg::kCorrelationCircleFile,
                 svg::correlation_circle(c));
}

std::vector<double> column(const results::ScoreMatrix& m, std::size_t k) {
  std::vector<double> v;
  for (std::size_t i = 0; i < static_cast<std::size_t>(m.points()); ++i) v.push_back(m.at(i, k));
  return v;
}

// contributions_K.svg and cos2_K.svg for the first retained axes.
void draw_charts(const RunContext& run, const Finished& f, const PointMeasures& m) {
  const results::Quality& cos2 = m.cos2;
  const results::ScoreMatrix& object_ctr = m.object_ctr;
  const results::ScoreMatrix& variable_ctr = m.variable_ctr;
  const std::int32_t axes = std::min(f.scores.objects.axes(), svg::kChartedAxes);
  for (std::int32_t k = 0; k < axes; ++k) {
    const auto a = static_cast<std::size_t>(k);
    const std::string axis = "axis " + std::to_string(k + 1);
    const std::vector<double> vc = column(variable_ctr, a), oc = column(object_ctr, a);
    svg::write_svg(run.dir, textio::units::kContributionChart, svg::contributions_file(k + 1),
                   svg::bar_charts("Contributions to " + axis + " (%)",
                                   {"Variables", vc, f.labels.variable_lines},
                                   {"Objects", oc, f.labels.object_lines}, true, 0.0));
    const std::vector<double> vq = column(cos2.variables, a), oq = column(cos2.objects, a);
    svg::write_svg(run.dir, textio::units::kQualityChart, svg::cos2_file(k + 1),
                   svg::bar_charts("Quality of representation (cos2) on " + axis,
                                   {"Variables", vq, f.labels.variable_lines},
                                   {"Objects", oq, f.labels.object_lines}, false, 1.0));
  }
}

// The names of the files that write_extras writes for `retained` axes (the
// supplementary tables and a refused axes test aside).
std::vector<std::string> extras_written(const RunPlan& plan, std::int32_t retained) {
  std::vector<std::string> files;
  for (const ExtraFile& e : extra_files(plan)) {
    if (e.name == svg::kBiplotFile && !plane_retained(plan, retained)) continue;
    if (e.name == svg::kCorrelationCircleFile && !plan.correlation_circle(retained)) continue;
    bool charted = true;
    for (std::int32_t k = retained + 1; k <= svg::kChartedAxes; ++k)
      charted = charted && e.name != svg::contributions_file(k) && e.name != svg::cos2_file(k);
    if (charted) files.push_back(e.name);
  }
  return files;
}

}  // namespace

std::vector<ExtraFile> extra_files(const RunPlan& plan) {
  std::vector<ExtraFile> extra;
  if (plan.tables)
    for (const char* name : {csv::kEigenvalueTable, csv::kObjectTable, csv::kVariableTable})
      extra.push_back({name, "--csv"});
  if (plan.tables && plan.axes_test > 0) extra.push_back({kAxesTable, "--csv --axes-test"});
  if (plan.pictures) {
    for (const char* name : {svg::kScreeFile, svg::kBiplotFile, svg::kCorrelationCircleFile})
      extra.push_back({name, "--svg"});
    for (std::int32_t k = 1; k <= svg::kChartedAxes; ++k) {
      extra.push_back({svg::contributions_file(k), "--svg"});
      extra.push_back({svg::cos2_file(k), "--svg"});
    }
  }
  if (plan.page) extra.push_back({html::kReportFile, "--html"});
  return extra;
}

std::vector<std::string> every_extra_file() {
  RunPlan every;
  every.tables = every.pictures = every.page = true;
  every.axes_test = 1;
  std::vector<std::string> names;
  for (const ExtraFile& e : extra_files(every)) names.push_back(e.name);
  for (const char* name : {csv::kSupplementaryObjectTable, csv::kSupplementaryVariableTable,
                           csv::kGroupTable})
    names.push_back(name);
  return names;
}

Extras write_extras(const RunContext& run, RunFiles& files, const Finished& f) {
  Extras out;
  std::optional<results::AxesAssessment> axes;
  if (run.plan.axes_test > 0) axes = axes_test(run, files, f);
  if (!run.plan.quality()) return out;
  const Masses masses_of = masses(run, f);
  PointMeasures m{quality(run, files, f), {}, {}};
  m.object_ctr = csv::contributions(f.scores.objects, masses_of.objects);
  m.variable_ctr = csv::contributions(f.scores.variables, masses_of.variables);
  const results::Quality& cos2 = m.cos2;
  const std::int32_t q = f.scores.objects.axes();
  out.written = extras_written(run.plan, q);
  if (run.plan.tables) write_tables(run, f, m);
  if (run.plan.tables && f.supplementary != nullptr && f.supplementary->placed) {
    for (const char* name : {csv::kSupplementaryObjectTable, csv::kSupplementaryVariableTable,
                             csv::kGroupTable})
      if (supplementary_table_written(*f.supplementary, name)) out.written.push_back(name);
  }
  if (run.plan.tables && axes) {
    write_axes_table(run, *axes);
  } else if (run.plan.tables && run.plan.axes_test > 0) {
    std::erase(out.written, std::string(kAxesTable));  // the test was refused
  }
  if (!run.plan.pictures && !run.plan.page) return out;
  const BiplotParts biplot(run, f, m);
  if (run.plan.pictures) {
    svg::ScreeOverlay overlay;
    if (axes) overlay = scree_overlay(*axes, f.eigen);
    draw_pictures(run, f, biplot, axes ? &overlay : nullptr);
    if (run.plan.correlation_circle(q)) draw_correlation_circle(run, f, cos2);
    draw_charts(run, f, m);
  }
  if (run.plan.page) out.page = page(run, f, m, biplot);
  return out;
}

}  // namespace orthaxis::driver
