#include "driver/extras.h"

#include <string>
#include <vector>

#include "export/csv.h"
#include "export/label_choice.h"
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

// The masses of the points: the table's proportions for correspondence
// analysis, equal weights (empty) for PCA.
struct Masses {
  std::span<const float> objects, variables;
};
Masses masses(const RunContext& run, const Finished& f) {
  if (!run.plan.correspondence()) return {};
  return {f.resemblance.table.row_totals, f.resemblance.table.column_totals};
}

void write_tables(const RunContext& run, const Finished& f, const results::Quality& cos2) {
  const Masses m = masses(run, f);
  csv::write_tables(run.dir, f.eigen,
                    {f.scores.objects, cos2.objects, m.objects, f.labels.object_lines},
                    {f.scores.variables, cos2.variables, m.variables, f.labels.variable_lines});
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

void draw_pictures(const RunContext& run, const Finished& f, const results::Quality& cos2) {
  svg::Biplot b{f.scores.objects, f.scores.variables, f.labels.object_lines,
                f.labels.variable_lines};
  b.arrows = !run.plan.correspondence();
  const std::int32_t q = f.scores.objects.axes();
  const RunPlan& plan = run.plan;
  const bool plane_drawn = plan.plane1 < q && plan.plane2 < q;
  if (q >= 2 && !plane_drawn)
    run.messages.warning("--plane " + std::to_string(plan.plane1 + 1) + "," +
                         std::to_string(plan.plane2 + 1) + ": only " + std::to_string(q) +
                         " axes are retained; no biplot is drawn");
  std::vector<char> object_flags, variable_flags;
  if (plane_drawn) {
    b.axis1 = plan.plane1;
    b.axis2 = plan.plane2;
    b.percent1 = f.eigen.percent(static_cast<std::size_t>(b.axis1));
    b.percent2 = f.eigen.percent(static_cast<std::size_t>(b.axis2));
    const Masses m = masses(run, f);
    const auto a1 = static_cast<std::size_t>(b.axis1), a2 = static_cast<std::size_t>(b.axis2);
    const PlaneValues objects = plane_values(
        cos2.objects, csv::contributions(f.scores.objects, m.objects), f.eigen, a1, a2);
    const PlaneValues variables = plane_values(
        cos2.variables, csv::contributions(f.scores.variables, m.variables), f.eigen, a1, a2);
    object_flags = svg::chosen_labels(plan.labels, objects.cos2.size(), objects.cos2,
                                      objects.contrib,
                                      f.scores.objects.points() <= svg::kLabelledObjectLimit);
    variable_flags = svg::chosen_labels(plan.labels, variables.cos2.size(), variables.cos2,
                                        variables.contrib, true);
    b.object_labelled = object_flags;
    b.variable_labelled = variable_flags;
  } else {
    b.axis1 = plan.plane1;  // beyond the retained axes: no biplot
    b.axis2 = plan.plane2;
  }
  svg::write_pictures(run.dir, b, f.eigen);
}

}  // namespace

void write_extras(const RunContext& run, RunFiles& files, const Finished& f) {
  if (!run.plan.quality()) return;
  const results::Quality cos2 = quality(run, files, f);
  if (run.plan.tables) write_tables(run, f, cos2);
  if (run.plan.pictures) draw_pictures(run, f, cos2);
}

}  // namespace orthaxis::driver
