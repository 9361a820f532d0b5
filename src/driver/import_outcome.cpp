// The outcome of the streamed import's last reading: the qualitative
// columns and their notices, the supplementary rows and columns checked
// against the lists of the options, the refusals in the order of the
// whole-table import, then the labels, the supplementary parts and the
// blocks kept for the second reading.

#include <algorithm>
#include <stdexcept>

#include "driver/import_state.h"
#include "driver/supplementary_import.h"

namespace orthaxis::driver {

using input::QualitativeColumn;

// The columns of texts of the last reading as qualitative columns, where
// each was first seen to hold text.
std::vector<QualitativeColumn> StreamedImport::State::qualitative_columns(const Plan& plan,
                                                                          Reading& rd) {
  std::vector<input::QualitativeColumn> qualitative;
  for (std::size_t t = 0; t < plan.text_cols.size(); ++t) {
    const std::size_t j = plan.text_cols[t];
    QualitativeColumn q = rd.coders[t].finish();
    q.name = plan.header[j];
    q.position = static_cast<std::int64_t>(names ? j : j + 1);
    q.first_text = first_text[j];
    q.first_line = first_line[j];
    qualitative.push_back(std::move(q));
  }
  return qualitative;
}

// The rows and columns read as supplementary against the options' lists,
// then the refusals of the split of the table and of the active values.
void StreamedImport::State::check_supplementary(const Plan& plan, const Reading& rd,
                                                const std::vector<QualitativeColumn>& qualitative) {
  const std::size_t shift = names ? 1 : 0;
  DataColumns columns{
      std::vector<std::string>(plan.header.begin() + static_cast<std::ptrdiff_t>(shift),
                               plan.header.end()),
      std::vector<std::int64_t>(plan.width - shift, -1)};
  for (std::size_t k = 0; k < plan.value_cols.size(); ++k)
    columns.value_of[plan.value_cols[k] - shift] = static_cast<std::int64_t>(k);
  const SupplementaryChoice choice =
      choose_supplementary(options, rows_total, rd.objects, columns, plan.value_cols.size());
  if (!options.sup_rows.empty() && choice.rows != rd.row_sup)
    throw std::logic_error("the rows read as supplementary differ from --sup-rows");
  if (choice.values != plan.sup_col)
    throw std::logic_error("the columns read as supplementary differ from --sup-cols");
  check_active_part(options, file, rd.active_rows, static_cast<std::int64_t>(plan.active.size()),
                    !qualitative.empty());
  if (rd.sup_row_negative) refuse(*rd.sup_row_negative);
  if (coa && rd.sup_col_negative) refuse(*rd.sup_col_negative);
  if (rd.active_refusal) refuse(*rd.active_refusal);
}

// The refusals and the outcome of the last reading, in the order of the
// whole-table import.
void StreamedImport::State::finish(const Plan& plan, Reading& rd) {
  if (!plan.names && rd.col0_large) refuse(*rd.col0_large);
  names = plan.names;
  std::vector<QualitativeColumn> qualitative = qualitative_columns(plan, rd);
  for (const QualitativeColumn& q : qualitative)
    notices.push_back(qualitative_notice(file, q, names, options.decimal));
  check_supplementary(plan, rd, qualitative);

  const std::int64_t rows = rows_total;
  active_rows = rd.active_rows;
  missing = rd.missing;
  row_sup = std::move(rd.row_sup);
  for (std::size_t k : plan.active) {
    variables.push_back(plan.header[plan.value_cols[k]]);
    written_cols.push_back(plan.value_cols[k]);
  }
  if (names)
    for (std::int64_t i = 0; i < rows; ++i)
      if (!row_sup[static_cast<std::size_t>(i)]) active_objects.push_back(std::move(rd.objects[static_cast<std::size_t>(i)]));
  supplementary = std::move(rd.sup);
  for (std::size_t k : plan.sup) supplementary.variable_names.push_back(plan.header[plan.value_cols[k]]);
  for (const QualitativeColumn& q : qualitative) supplementary.qualitative.push_back(active_levels(q, row_sup));
  blocks = std::move(rd.blocks);
  width = plan.width;
}

}  // namespace orthaxis::driver
