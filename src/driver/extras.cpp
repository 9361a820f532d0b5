#include "driver/extras.h"

#include "driver/axes_phase.h"
#include "export/csv.h"
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
}

void draw_pictures(const RunContext& run, const Finished& f, const svg::ScreeOverlay* overlay,
                   std::vector<std::string>& written) {
  svg::Biplot b{f.scores.objects, f.scores.variables, f.labels.object_lines,
                f.labels.variable_lines};
  b.arrows = !run.plan.correspondence();
  if (f.scores.objects.axes() >= 2) {
    b.percent1 = f.eigen.percent(0);
    b.percent2 = f.eigen.percent(1);
  }
  svg::write_pictures(run.dir, b, f.eigen, overlay);
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
