#include "driver/extras.h"

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

void draw_pictures(const RunContext& run, const Finished& f) {
  svg::Biplot b{f.scores.objects, f.scores.variables, f.labels.object_lines,
                f.labels.variable_lines};
  b.arrows = !run.plan.correspondence();
  if (f.scores.objects.axes() >= 2) {
    b.percent1 = f.eigen.percent(0);
    b.percent2 = f.eigen.percent(1);
  }
  svg::write_pictures(run.dir, b, f.eigen);
}

}  // namespace

void write_extras(const RunContext& run, RunFiles& files, const Finished& f) {
  if (run.plan.tables) write_tables(run, files, f);
  if (run.plan.pictures) draw_pictures(run, f);
}

}  // namespace orthaxis::driver
