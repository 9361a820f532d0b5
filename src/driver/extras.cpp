#include "driver/extras.h"

#include "driver/axes_phase.h"
#include "driver/supplementary_phase.h"
#include "export/csv.h"
#include "export/supplementary_csv.h"
#include "export/svg.h"
#include "results/quality.h"

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

void write_tables(const RunContext& run, RunFiles& files, const Finished& f) {
  const results::Quality cos2 = quality(run, files, f);
  std::span<const float> object_mass, variable_mass;  // equal weights for PCA
  if (run.plan.correspondence()) {
    object_mass = f.resemblance.table.row_totals;
    variable_mass = f.resemblance.table.column_totals;
  }
  csv::write_tables(run.dir, f.eigen,
                    {f.scores.objects, cos2.objects, object_mass, f.labels.object_lines},
                    {f.scores.variables, cos2.variables, variable_mass, f.labels.variable_lines});
  if (f.supplementary != nullptr && f.supplementary->placed) {
    const SupplementaryRun& s = *f.supplementary;
    csv::write_supplementary_tables(run.dir, {s.data, s.objects, s.variables, s.levels,
                                              f.scores.objects.axes()});
  }
}

// The supplementary elements on axes 1 and 2, the objects coloured by the
// levels of the chosen qualitative variable (the first when none is chosen).
svg::Overlay supplementary_overlay(const RunContext& run, const SupplementaryRun& s) {
  svg::Overlay o;
  auto point = [](const results::SupplementaryPoints& p, std::size_t i, std::string label) {
    return svg::OverlayPoint{p.coordinate(i, 0), p.coordinate(i, 1), std::move(label)};
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
    if (l.variable == q.name && l.coord.size() >= 2)
      o.centroids.push_back({l.coord[0], l.coord[1], l.level});
  return o;
}

void draw_pictures(const RunContext& run, const Finished& f, const svg::ScreeOverlay* scree,
                   std::vector<std::string>& written) {
  svg::Biplot b{f.scores.objects, f.scores.variables, f.labels.object_lines,
                f.labels.variable_lines};
  svg::Overlay o;
  if (f.supplementary != nullptr && f.supplementary->placed && f.scores.objects.axes() >= 2) {
    o = supplementary_overlay(run, *f.supplementary);
    b.overlay = &o;
  }
  b.arrows = !run.plan.correspondence();
  if (f.scores.objects.axes() >= 2) {
    b.percent1 = f.eigen.percent(0);
    b.percent2 = f.eigen.percent(1);
  }
  svg::write_pictures(run.dir, b, f.eigen, scree);
  if (f.scores.objects.axes() >= 2)
    written.push_back(svg::kBiplotFile);
  else
    run.messages.warning("no biplot was drawn: the run retained fewer than two axes");
  written.push_back(svg::kScreeFile);
}

}  // namespace

std::vector<std::string> write_extras(const RunContext& run, RunFiles& files, const Finished& f) {
  std::vector<std::string> written;
  std::optional<results::AxesAssessment> axes;
  if (run.plan.axes_test > 0) axes = axes_test(run, files, f);
  if (run.plan.tables) {
    write_tables(run, files, f);
    written.insert(written.end(), {csv::kEigenvalueTable, csv::kObjectTable, csv::kVariableTable});
  }
  if (run.plan.tables && axes) {
    write_axes_table(run, *axes);
    written.push_back(kAxesTable);
  }
  svg::ScreeOverlay overlay;
  if (axes) overlay = scree_overlay(*axes, f.eigen);
  if (run.plan.pictures) draw_pictures(run, f, axes ? &overlay : nullptr, written);
  return written;
}

}  // namespace orthaxis::driver
