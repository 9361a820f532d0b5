#include "driver/supplementary_phase.h"

#include <stdexcept>

namespace orthaxis::driver {

namespace {

std::string plural(std::int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

results::RowVisitor scratch_rows(input::ScratchFile& scratch, std::size_t n, std::size_t p) {
  return [&scratch, n, p](const std::function<void(std::size_t, std::span<const float>)>& take) {
    std::vector<float> row(p);
    scratch.rewind();
    for (std::size_t i = 0; i < n; ++i) {
      scratch.read_row(row);
      take(i, row);
    }
    scratch.rewind();
  };
}

}  // namespace

std::string supplementary_summary(const input::SupplementaryData& d) {
  std::vector<std::string> parts;
  if (d.object_count() > 0)
    parts.push_back(plural(d.object_count(), "object") + " (" + input::kSupplementaryObjectsFile + ")");
  if (d.variable_count() > 0)
    parts.push_back(plural(d.variable_count(), "variable") + " (" +
                    input::kSupplementaryVariablesFile + ")");
  if (!d.qualitative.empty())
    parts.push_back(plural(static_cast<std::int64_t>(d.qualitative.size()), "qualitative variable") +
                    " (" + input::kQualitativeFile + ")");
  std::string s;
  for (std::size_t k = 0; k < parts.size(); ++k) s += (k > 0 ? ", " : "") + parts[k];
  return s;
}

SupplementaryRun place_supplementary(const RunContext& run, RunFiles& files,
                                     const DataShape& shape, const Resemblance& r,
                                     const Eigenanalysis& e, const Scores& scores) {
  SupplementaryRun s;
  if (!run.plan.person || !input::has_supplementary_files(run.dir)) return s;
  try {
    s.data = input::read_supplementary(run.dir, shape.n, shape.p);
  } catch (const std::runtime_error& error) {
    run.messages.warning(std::string(error.what()) + "; the supplementary elements are left out");
    return s;
  }
  if (s.data.empty()) return s;
  if (!run.plan.tables && !run.plan.pictures) {
    run.messages.warning("supplementary elements: " + supplementary_summary(s.data) +
                         "; --csv writes their coordinates, --svg draws them");
    return s;
  }
  const std::size_t n = static_cast<std::size_t>(shape.n);
  const std::size_t p = static_cast<std::size_t>(shape.p);
  const results::RowVisitor rows = scratch_rows(*files.scratch, n, p);
  const std::int32_t q = scores.objects.axes();
  if (run.plan.correspondence()) {
    const results::CoaSupplementaryModel m{r.table.row_totals, r.table.column_totals,
                                           r.table.grand_total, &e.eigen, q, run.plan.coa_scaling};
    s.objects = results::coa_rows(m, s.data.objects);
    s.variables = results::coa_columns(m, scores.objects, s.data.variables,
                                       static_cast<std::size_t>(s.data.variable_count()));
    s.levels = results::coa_levels(m, s.data.qualitative, rows);
  } else {
    const results::PcaSupplementaryModel m{run.plan.type, run.plan.object_score_norm, r.mean,
                                           r.sd, r.count, &e.eigen, q};
    s.objects = results::pca_objects(m, s.data.objects);
    s.variables = results::pca_variables(scores.objects, s.data.variables,
                                         static_cast<std::size_t>(s.data.variable_count()));
    s.levels = results::pca_levels(m, scores.objects, s.data.qualitative, rows);
  }
  s.placed = true;
  return s;
}

}  // namespace orthaxis::driver
