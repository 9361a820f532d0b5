// The streamed import's parse of a block: records of plain cells read in one
// sweep where they can be, the others split (as lines, or by RecordSplitter
// when the block has quotes) and their cells parsed as the whole-table
// reader parses them; then the summary of each record's active values.

#include "driver/import_parse.h"

#include <type_traits>

#include "analysis/missing.h"
#include "input/csv_records.h"

namespace orthaxis::driver::import_detail {

namespace {

using input::csv_detail::RecordSplitter;
using input::csv_detail::is_missing;
using input::csv_detail::trim;

// How a record read in one sweep is laid out.
struct QuickShape {
  std::size_t width = 0;
  bool names = false;
  char separator = ',';
  char decimal = '.';
};

// A record read in one sweep: where it starts (then where the next one
// does), whether a line end closed it, its name, and whether every value
// cell so far is shortest.
struct QuickRecord {
  std::size_t pos = 0;
  bool line_end = false;
  std::string_view name;
  bool shortest = false;
};

// One value cell of a record read in one sweep, from `cursor` (left past
// it): empty or [-]digits[.digits] with at most 7 significant digits. False
// for anything else.
[[gnu::always_inline]] inline bool quick_cell(const char*& cursor, const char* end, char decimal,
                                              float*& values, bool& shortest) {
  static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                      1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const char* q = cursor;
  const char* f = q;
  const bool negative = q < end && *q == '-';
  if (negative) ++q;
  std::uint32_t m = 0;
  int significant = 0, digits = 0, scale = 0, zeros = 0;
  for (; q < end && *q >= '0' && *q <= '9'; ++q, ++digits) {
    if (m == 0 && *q == '0') continue;
    zeros = *q == '0' ? zeros + 1 : 0;
    if (++significant > 7) return false;
    m = m * 10 + static_cast<std::uint32_t>(*q - '0');
  }
  const int whole_digits = digits;
  if (shortest) {
    // As input::is_shortest_float_text has it, from what is known here:
    // no sign, "0" alone or 0.ddd or no leading 0, a whole part below
    // 2^24 that is shortest as it is, and the fraction checked below.
    const bool point = q < end && *q == '.' && decimal == '.';
    if (negative || whole_digits == 0 || whole_digits > 7 || (*f == '0' && whole_digits > 1) ||
        (!point && q < end && *q == decimal))
      shortest = false;
    else if (!point) {
      const int kept = significant - zeros;
      shortest = m == 0 ? whole_digits == 1
                        : kept <= 6 && whole_digits <= kept + (kept > 1 ? 1 : 0) + 4;
    }
  }
  if (q < end && *q == decimal) {
    for (++q; q < end && *q >= '0' && *q <= '9'; ++q, ++digits) {
      --scale;
      if (m == 0 && *q == '0') continue;
      if (++significant > 7) return false;
      m = m * 10 + static_cast<std::uint32_t>(*q - '0');
    }
  }
  if (shortest && digits > whole_digits) {
    // The fraction: its last digit not 0, six significant digits or
    // fewer, the fixed form no longer than the scientific one.
    const int length = static_cast<int>(q - f);
    shortest = q[-1] != '0' && significant <= 6 &&
               length <= significant + (significant > 1 ? 1 : 0) + 4;
  } else if (shortest && q > f && q[-1] == decimal) {
    shortest = false;  // "5."
  }
  if (digits == 0) {
    if (q != f) return false;  // a sign or a mark alone
    shortest = false;
    *values++ = kMissing;
  } else {
    if (scale < -10) return false;
    const float v = static_cast<float>(m) / kPowers[-scale];
    *values++ = m == 0 ? (negative ? -0.0f : 0.0f) : (negative ? -v : v);
  }
  cursor = q;
  return true;
}

// One record of plain cells read in one sweep: each value cell empty or
// [-]digits[.digits] with at most 7 significant digits, the names (when
// the plan has them) up to the first separator. False, with nothing stored,
// for a record of anything else (blank, other cells, another width): it is
// for the splitter to read.
bool quick_record(const QuickShape& shape, std::string_view text, float* values, QuickRecord& rec) {
  const std::size_t w = shape.width;
  const bool names = shape.names;
  const char sep = shape.separator, decimal = shape.decimal;
  bool shortest = rec.shortest;
  std::string_view name;
  const char* q = text.data() + rec.pos;
  const char* const end = text.data() + text.size();
  if (q >= end || *q == '\n' || *q == '\r') return false;
  for (std::size_t j = 0; j < w; ++j) {
    const bool last = j + 1 == w;
    if (j == 0 && names) {
      const char* f = q;
      while (q < end && *q != sep && *q != '\n' && *q != '\r') ++q;
      name = std::string_view(f, static_cast<std::size_t>(q - f));
    } else if (!quick_cell(q, end, decimal, values, shortest)) {
      return false;
    }
    if (!last) {
      if (q >= end || *q != sep) return false;
      ++q;
      if (q >= end) return false;  // a separator ends the text
    }
  }
  if (q < end) {
    if (*q == '\n') {
      ++q;
    } else if (*q == '\r') {
      ++q;
      if (q < end && *q == '\n') ++q;
    } else {
      return false;
    }
    rec.line_end = true;
  } else {
    rec.line_end = false;
  }
  rec.pos = static_cast<std::size_t>(q - text.data());
  rec.name = name;
  rec.shortest = shortest;
  return true;
}

// What the parse of one block works on.
struct BlockParse {
  const Plan& plan;
  const input::CsvSettings& settings;
  std::string_view text;
  Parsed& b;
};

// The next record read in one sweep, taken; false (nothing taken) when it
// is for the splitter.
bool take_quick(const BlockParse& p, LineSplitter& splitter) {
  const Plan& plan = p.plan;
  Parsed& b = p.b;
  const std::size_t nv = plan.value_cols.size();
  QuickRecord rec;
  rec.pos = splitter.position();
  rec.shortest = b.plain;
  b.values.resize(b.values.size() + nv);
  const QuickShape shape{plan.width, plan.names, p.settings.separator, p.settings.decimal};
  if (!quick_record(shape, p.text, b.values.data() + b.values.size() - nv, rec)) {
    b.values.resize(b.values.size() - nv);
    return false;
  }
  b.plain = rec.shortest;
  const std::int64_t k = b.records++;
  b.line.push_back(splitter.line() - 1);
  b.blank.push_back(0);
  if (b.first_nonblank < 0) b.first_nonblank = k;
  b.last_nonblank = k;
  if (plan.names) {
    b.texts.append(rec.name);
    b.text_end.push_back(b.texts.size());
  }
  splitter.skip_to(rec.pos, rec.line_end);
  return true;
}

// The cells of record `k`, of the header's width: each value column's value
// (missing for a text, the first text and the first too large cell of each
// column kept), then the names and the text columns.
void take_cells(const BlockParse& p, const Record& r, std::int64_t k) {
  const Plan& plan = p.plan;
  const input::CsvSettings& settings = p.settings;
  Parsed& b = p.b;
  for (std::size_t j : plan.value_cols) {
    const Field& cell = r.fields[j];
    float v = kMissing;
    if (!is_missing(cell.text)) {
      bool too_large = false;
      if (!input::parse_csv_number(cell.text, settings.decimal, v, too_large)) {
        v = kMissing;
        if (too_large) {
          if (b.first_large[j] < 0) {
            b.first_large[j] = k;
            try {
              input::csv_detail::cell_value(cell, settings, r.line - 1,
                                            static_cast<std::int64_t>(j) + 1, plan.header[j]);
            } catch (const CsvError& e) {
              b.large[j] = Refusal{e.what(), r.line - 1, static_cast<std::int64_t>(j) + 1,
                                   plan.header[j]};
            }
          }
        } else if (b.first_text[j] < 0) {
          b.first_text[j] = k;
          b.first_text_cell[j] = std::string(trim(cell.text));
        }
      }
    }
    b.values.push_back(v);
  }
  if (plan.names) {
    b.texts.append(r.fields[0].text);
    b.text_end.push_back(b.texts.size());
  }
  for (std::size_t j : plan.text_cols) {
    b.texts.append(r.fields[j].text);
    b.text_end.push_back(b.texts.size());
  }
}

template <class Splitter>
void parse_records(const BlockParse& p) {
  const Plan& plan = p.plan;
  const input::CsvSettings& settings = p.settings;
  Parsed& b = p.b;
  const std::size_t w = plan.width;
  b.first_text.assign(w, -1);
  b.first_large.assign(w, -1);
  b.first_text_cell.assign(w, {});
  b.large.assign(w, {});
  Splitter splitter(p.text, settings.separator);
  std::int64_t pending_blank = -1;
  Record r;
  for (;;) {
    if constexpr (std::is_same_v<Splitter, LineSplitter>) {
      if (plan.text_cols.empty() && pending_blank < 0 && settings.separator != settings.decimal &&
          take_quick(p, splitter))
        continue;
    }
    try {
      if (!splitter.next(r)) break;
      b.plain = false;
    } catch (const CsvError& e) {
      b.failed = true;
      b.failure = Refusal{e.what(), e.line() - 1, e.field(), {}};
      break;
    }
    const std::int64_t k = b.records++;
    b.line.push_back(r.line - 1);
    const bool blank = r.blank();
    b.blank.push_back(blank ? 1 : 0);
    if (blank && w != 1) {
      if (pending_blank < 0) pending_blank = k;
      b.values.resize(b.values.size() + plan.value_cols.size(), kMissing);
      for (std::size_t t = 0; t < plan.text_cols.size() + (plan.names ? 1 : 0); ++t)
        b.text_end.push_back(b.texts.size());
      continue;
    }
    if (!blank && b.first_nonblank < 0) b.first_nonblank = k;
    if (pending_blank >= 0) {
      b.failed = true;
      b.failure = Refusal{input::csv_detail::width_reason(1, static_cast<std::int64_t>(w)),
                          b.line[static_cast<std::size_t>(pending_blank)], 0, {}};
      break;
    }
    if (r.fields.size() != w) {
      b.failed = true;
      b.failure = Refusal{input::csv_detail::width_reason(static_cast<std::int64_t>(r.fields.size()),
                                                          static_cast<std::int64_t>(w)),
                          r.line - 1, 0, {}};
      break;
    }
    if (!blank) b.last_nonblank = k;
    take_cells(p, r, k);
  }
  b.lines = splitter.line() - 1;
}

}  // namespace

Parsed::Summary summarize(const Plan& plan, const float* v) {
  Parsed::Summary s;
  for (std::size_t a = 0; a < plan.active.size(); ++a) {
    const float x = v[plan.active[a]];
    if (analysis::missing_cell(x)) {
      if (s.first_missing < 0) s.first_missing = static_cast<std::int64_t>(a);
      ++s.missing;
    } else if (x < 0.0f && s.first_negative < 0) {
      s.first_negative = static_cast<std::int64_t>(a);
    }
  }
  return s;
}

void parse_block(const Plan& plan, const input::CsvSettings& settings, std::string_view text,
                 Parsed& b) {
  b.plain = !plan.text_cols.empty() ? false : true;
  if (has_quotes(text)) {
    b.plain = false;
    parse_records<RecordSplitter>(BlockParse{plan, settings, text, b});
  } else {
    parse_records<LineSplitter>(BlockParse{plan, settings, text, b});
  }
  const std::size_t nv = plan.value_cols.size();
  b.summary.resize(static_cast<std::size_t>(b.records));
  for (std::size_t k = 0; k < b.summary.size() && (k + 1) * nv <= b.values.size(); ++k)
    b.summary[k] = summarize(plan, b.values.data() + k * nv);
}

}  // namespace orthaxis::driver::import_detail
