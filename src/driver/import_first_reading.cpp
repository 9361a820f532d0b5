// The streamed import's reading of the table in blocks under a plan: the
// header, the blocks parsed on the pool and taken in order on the calling
// thread (the columns found to hold texts, the first refusal, the labels
// and the supplementary parts), and the columns of a plan.

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>

#include "analysis/missing.h"
#include "driver/import_state.h"
#include "driver/supplementary_import.h"

namespace orthaxis::driver {

namespace {

using input::csv_detail::Field;
using input::csv_detail::Record;
using input::csv_detail::RecordSplitter;
using input::csv_detail::trim;
using import_detail::Plan;
using import_detail::kMissing;
using import_detail::parse_block;
using import_detail::summarize;

// The items of a --sup-rows list as select_items reads them; its refusals
// are left to it, once the rows are known.
void read_row_list(std::string_view list, Plan& plan) {
  for (const ListItem& item : list_items(list)) {
    if (item.position)
      plan.row_ranges.emplace_back(item.first - 1, item.last - 1);
    else
      plan.row_names.emplace(item.text);
  }
}

}  // namespace

bool StreamedImport::State::is_sup_row(const Plan& plan, std::int64_t i,
                                       std::string_view name) const {
  for (const auto& [a, b] : plan.row_ranges)
    if (i >= a && i <= b) return true;
  return plan.names && !plan.row_names.empty() && plan.row_names.count(trim(name)) > 0;
}

// A row of the table: its values (per value column) and texts.
void StreamedImport::State::take_row(const Plan& plan, Reading& rd, const Row& row) {
  const std::int64_t i = row.index, line = row.line;
  const float* const v = row.values;
  const std::vector<std::string_view>& texts = row.texts;
  const Parsed::Summary& summary = row.summary;
  std::size_t t = 0;
  std::string_view name;
  if (plan.names) {
    name = texts[t++];
    rd.objects.emplace_back(name);
  }
  for (auto& coder : rd.coders) coder.add(texts[t++], settings);
  const bool sup = is_sup_row(plan, i, name);
  rd.row_sup.push_back(sup ? 1 : 0);
  auto refusal = [&](std::size_t k, std::string reason) {
    const std::size_t j = plan.value_cols[k];
    return CsvError(std::move(reason), line, static_cast<std::int64_t>(j) + 1, plan.header[j]);
  };
  if (sup) {
    rd.sup.object_index.push_back(i + 1);
    rd.sup.object_labels.emplace_back(name);
    for (std::size_t k : plan.active) {
      const float x = v[k];
      if (!rd.sup_row_negative && !analysis::missing_cell(x) && x < 0.0f)
        rd.sup_row_negative =
            refusal(k, input::shortest_float(x) + " is negative: " +
                           std::string(coa ? kNegativeSupplementaryRow : kNegativeSupplementaryObject));
      rd.sup.objects.push_back(x);
    }
    return;
  }
  ++rd.active_rows;
  for (std::size_t k : plan.sup) {
    const float x = v[k];
    if (coa && !rd.sup_col_negative && !analysis::missing_cell(x) && x < 0.0f)
      rd.sup_col_negative = refusal(k, input::shortest_float(x) + " is negative: " +
                                           std::string(kNegativeSupplementaryColumn));
    rd.sup.variables.push_back(x);
  }
  rd.missing += summary.missing;
  if (rd.active_refusal) return;
  std::int64_t a = summary.first_negative;
  if (coa && summary.first_missing >= 0 && (a < 0 || summary.first_missing < a))
    a = summary.first_missing;
  if (a >= 0) {
    const std::size_t k = plan.active[static_cast<std::size_t>(a)];
    rd.active_refusal = refusal(k, active_value_refusal(v[k], coa));
  }
}

// Takes a parsed block in order; false once the reading is refused.
void StreamedImport::State::merge(const Plan& plan, Reading& rd, const Chunk& chunk, const Parsed& b) {
  const std::int64_t first_line = rd.next_line;
  const std::int64_t first_record = rd.records;
  const std::size_t w = plan.width;
  if (w != 1 && rd.carried_blank_line > 0 && b.first_nonblank >= 0)
    refuse(CsvError(input::csv_detail::width_reason(1, static_cast<std::int64_t>(w)),
                    rd.carried_blank_line));
  // The first cell too large for a column not yet known to hold texts.
  std::int64_t best = -1;
  std::size_t best_col = 0;
  for (std::size_t j = 0; j < w; ++j) {
    if (b.first_large[j] < 0 || j == 0 || rd.found[j]) continue;
    if (b.first_text[j] >= 0 && b.first_text[j] < b.first_large[j]) continue;
    if (best < 0 || b.first_large[j] < best) best = b.first_large[j], best_col = j;
  }
  if (best >= 0) refuse(b.large[best_col].at(first_line));
  if (b.failed) refuse(b.failure.at(first_line));
  for (std::size_t j = 1; j < w; ++j) {
    if (rd.found[j] || b.first_text[j] < 0) continue;
    rd.found[j] = 1;
    rd.found_text[j] = b.first_text_cell[j];
    rd.found_line[j] = first_line + b.line[static_cast<std::size_t>(b.first_text[j])];
  }
  if (!plan.names && w > 0 && b.first_text[0] >= 0) rd.col0_text = true;
  if (!plan.names && !rd.col0_large && b.first_large[0] >= 0) rd.col0_large = b.large[0].at(first_line);

  const std::size_t nv = plan.value_cols.size();
  const std::size_t nt = plan.text_cols.size() + (plan.names ? 1 : 0);
  std::vector<std::string_view> texts(nt);
  std::vector<float> blank_values(nv, kMissing);
  std::vector<std::string_view> blank_texts(nt);
  const Parsed::Summary blank_summary = summarize(plan, blank_values.data());
  for (std::int64_t k = 0; k < b.records; ++k) {
    const std::size_t ks = static_cast<std::size_t>(k);
    const std::int64_t line = first_line + b.line[ks];
    if (b.blank[ks]) {
      if (w == 1) {
        rd.pending_blank_rows.push_back(first_record + k);
        rd.pending_blank_rows.push_back(line);
      } else if (rd.carried_blank_line < 0) {
        rd.carried_blank_line = line;
      }
      continue;
    }
    for (std::size_t p = 0; p < rd.pending_blank_rows.size(); p += 2)
      take_row(plan, rd, Row{rd.pending_blank_rows[p], rd.pending_blank_rows[p + 1],
                             blank_values.data(), blank_texts, blank_summary});
    rd.pending_blank_rows.clear();
    rd.carried_blank_line = -1;
    for (std::size_t t = 0; t < nt; ++t) {
      const std::size_t e = b.text_end[ks * nt + t];
      const std::size_t s = ks * nt + t == 0 ? 0 : b.text_end[ks * nt + t - 1];
      texts[t] = std::string_view(b.texts).substr(s, e - s);
    }
    take_row(plan, rd, Row{first_record + k, line, b.values.data() + ks * nv, texts, b.summary[ks]});
    rd.last_nonblank = first_record + k;
  }
  rd.records += b.records;
  rd.next_line += b.lines;
  rd.blocks.push_back(Block{chunk.offset, chunk.text.size(), first_record, b.records, b.plain});
}

// The header: the first record that is not blank (its cells the plan's
// header, the first time). Returns the rest of its block; `line_base` is
// left at the line after it.
StreamedImport::State::Chunk StreamedImport::State::read_header(BlockReader& reader, Plan& plan,
                                                                std::int64_t& line_base) {
  Chunk chunk;
  for (;;) {
    if (!reader.next(chunk)) refuse(CsvError("the table is empty (no header row)"));
    RecordSplitter splitter(chunk.text, separator);
    Record r;
    bool got = false;
    try {
      while (splitter.next(r))
        if (!r.blank()) {
          got = true;
          break;
        }
    } catch (const CsvError& e) {
      refuse(CsvError(e.what(), e.line() - 1 + line_base, e.field()));
    }
    if (!got) {
      line_base += splitter.line() - 1;
      continue;
    }
    if (plan.header.empty()) {
      for (const Field& f : r.fields) plan.header.emplace_back(f.text);
      plan.width = plan.header.size();
      plan.names = plan.width >= 2 && trim(plan.header[0]).empty();
    }
    line_base += splitter.line() - 1;
    return Chunk{chunk.text.substr(splitter.position()), chunk.offset + splitter.position()};
  }
}

// The blocks after the header (`rest` first) parsed on the pool, a few at a
// time, and taken in order.
void StreamedImport::State::parse_in_order(BlockReader& reader, const Plan& plan, Reading& rd,
                                           Chunk&& rest) {
  struct Slot {
    Chunk chunk;
    Parsed parsed;
  };
  const auto parse = [this, &plan](Slot& s) { parse_block(plan, settings, s.chunk.text, s.parsed); };
  const auto take = [this, &plan, &rd](Slot& s) { merge(plan, rd, s.chunk, s.parsed); };
  import_detail::OrderedWindow<Slot> window(pool, in_flight);
  const auto launch = [&](Chunk&& c) {
    auto slot = std::make_unique<Slot>();
    slot->chunk = std::move(c);
    window.launch(std::move(slot), parse);
  };
  if (!rest.text.empty()) launch(std::move(rest));
  Chunk chunk;
  for (;;) {
    window.make_room(take);
    if (!reader.next(chunk)) break;
    launch(std::move(chunk));
    chunk = Chunk{};
  }
  window.drain(take);
}

// One reading of the table under `plan`; false when it must be read again
// under another (columns of texts or row names found).
bool StreamedImport::State::read(Plan& plan, Reading& rd) {
  BlockReader reader(options.import_file, separator, import_tuning().block_bytes);
  std::int64_t line_base = 1;
  Chunk rest = read_header(reader, plan, line_base);
  prepare(plan);
  const std::size_t w = plan.width;
  rd.found.assign(w, 0);
  rd.found_text.assign(w, {});
  rd.found_line.assign(w, 0);
  rd.coders.assign(plan.text_cols.size(), {});
  rd.next_line = line_base;
  parse_in_order(reader, plan, rd, std::move(rest));

  const std::int64_t rows = rd.last_nonblank + 1;
  if (rows == 0) refuse(CsvError("the table has a header row but no rows of values"));
  const bool names = plan.names || rd.col0_text;
  if (names && w == 1)
    refuse(CsvError("the table has object names but no columns of values" +
                    input::csv_detail::separator_hint(plan.header[0], separator)));
  if (names != plan.names || std::count(rd.found.begin(), rd.found.end(), 1) > 0) {
    plan.names = names;
    for (std::size_t j = 1; j < w; ++j) plan.texts[j] = plan.texts[j] || rd.found[j];
    return false;
  }
  rows_total = rows;
  return true;
}

// The columns of a plan whose header, names and texts are set.
void StreamedImport::State::prepare(Plan& plan) {
  const std::size_t w = plan.width;
  plan.texts.resize(w, 0);
  plan.value_cols.clear();
  plan.text_cols.clear();
  for (std::size_t j = plan.names ? 1 : 0; j < w; ++j)
    (plan.texts[j] ? plan.text_cols : plan.value_cols).push_back(j);
  plan.sup_col.assign(plan.value_cols.size(), 0);
  if (!options.sup_cols.empty()) {
    try {
      std::vector<std::string> column_names(plan.header.begin() + (plan.names ? 1 : 0),
                                            plan.header.end());
      const std::size_t shift = plan.names ? 1 : 0;
      for (std::int64_t c : select_items(options.sup_cols, "--sup-cols", "column",
                                         static_cast<std::int64_t>(column_names.size()),
                                         column_names)) {
        const std::size_t j = static_cast<std::size_t>(c) + shift;
        auto it = std::find(plan.value_cols.begin(), plan.value_cols.end(), j);
        if (it != plan.value_cols.end()) plan.sup_col[static_cast<std::size_t>(it - plan.value_cols.begin())] = 1;
      }
    } catch (const SetupError&) {
      // Told once the rows are read, where the split of the table tells it.
    }
  }
  plan.active.clear();
  plan.sup.clear();
  for (std::size_t k = 0; k < plan.value_cols.size(); ++k)
    (plan.sup_col[k] ? plan.sup : plan.active).push_back(k);
  plan.row_ranges.clear();
  plan.row_names.clear();
  if (!options.sup_rows.empty()) read_row_list(options.sup_rows, plan);
}

}  // namespace orthaxis::driver
