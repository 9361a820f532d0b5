#include "driver/import_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <deque>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <type_traits>

#include "analysis/missing.h"
#include "analysis/worker_pool.h"
#include "driver/setup.h"
#include "driver/supplementary_import.h"
#include "input/csv_records.h"
#include "input/csv_table.h"
#include "textio/io_error.h"
#include "textio/units.h"

namespace orthaxis::driver {

ImportTuning& import_tuning() {
  static ImportTuning tuning;
  return tuning;
}

namespace {

using input::CsvError;
using input::CsvTable;
using input::QualitativeColumn;
using input::csv_detail::Field;
using input::csv_detail::Record;
using input::csv_detail::RecordSplitter;
using input::csv_detail::is_missing;
using input::csv_detail::trim;

constexpr float kMissing = CsvTable::kMissing;

// A refusal whose line is counted from the start of its block (0-based).
struct Refusal {
  std::string reason;
  std::int64_t line = 0;
  std::int64_t field = 0;
  std::string name;
  CsvError at(std::int64_t first_line) const {
    return CsvError(reason, line + first_line, field, name);
  }
};

// Where the last record of `b` ends (0: no record ends there). A quote
// opens a quoted field only at the start of a field, as the splitter has it;
// a CR at the very end may be the first half of a CRLF not yet read.
std::size_t last_record_end(std::string_view b, char sep) {
  const std::size_t n = b.size();
  if (std::memchr(b.data(), '"', n) == nullptr) {
    for (std::size_t k = n; k-- > 0;) {
      if (b[k] == '\n') return k + 1;
      if (b[k] == '\r' && k + 1 < n) return k + 1;  // b[k + 1] is not LF: it would have been found
    }
    return 0;
  }
  std::size_t i = 0, cut = 0;
  bool field_start = true;
  while (i < n) {
    const char c = b[i];
    if (field_start && c == '"') {
      for (++i;; ++i) {
        if (i >= n) return cut;
        if (b[i] != '"') continue;
        if (i + 1 >= n) return cut;  // a closing quote or the first of a pair: not known yet
        if (b[i + 1] == '"') {
          ++i;
          continue;
        }
        break;
      }
      ++i;
      field_start = false;
      continue;
    }
    ++i;
    if (c == sep) {
      field_start = true;
    } else if (c == '\n') {
      cut = i;
      field_start = true;
    } else if (c == '\r') {
      if (i >= n) return cut;
      if (b[i] == '\n') ++i;
      cut = i;
      field_start = true;
    } else {
      field_start = false;
    }
  }
  return cut;
}

// The records of a text without quotes: lines, split at each separator;
// the same records and lines as RecordSplitter gives for such a text.
class LineSplitter {
 public:
  LineSplitter(std::string_view text, char separator) : t_(text), sep_(separator) {}

  bool next(Record& r) {
    const std::size_t n = t_.size();
    if (pos_ >= n) return false;
    r.line = line_;
    r.fields.clear();
    const char* const b = t_.data();
    std::size_t start = pos_;
    for (std::size_t i = pos_;; ++i) {
      if (i >= n) {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        pos_ = n;
        return true;
      }
      const char c = b[i];
      if (c == sep_) {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        start = i + 1;
        if (start >= n) {
          r.fields.push_back(Field{});  // a separator ends the text: one more empty field
          pos_ = n;
          return true;
        }
      } else if (c == '\n' || c == '\r') {
        r.fields.push_back(Field{t_.substr(start, i - start)});
        pos_ = i + 1;
        if (c == '\r' && pos_ < n && b[pos_] == '\n') ++pos_;
        ++line_;
        return true;
      }
    }
  }
  std::int64_t line() const { return line_; }
  std::size_t position() const { return pos_; }
  // Past a record read otherwise, which ended at `pos` (after its line end).
  void skip_to(std::size_t pos, bool line_end) {
    pos_ = pos;
    if (line_end) ++line_;
  }
  std::string_view text() const { return t_; }

 private:
  std::string_view t_;
  char sep_;
  std::size_t pos_ = 0;
  std::int64_t line_ = 1;
};

// One record of plain cells read in one sweep: each value cell empty or
// [-]digits[.digits] with at most 7 significant digits, the names (when
// the plan has them) up to the first separator. False, with nothing stored,
// for a record of anything else (blank, other cells, another width): it is
// for the splitter to read.
bool quick_record(std::size_t w, bool names, char sep, char decimal, std::string_view text,
                  std::size_t& pos, bool& line_end, float* values, std::string_view& name,
                  bool& shortest) {
  static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                      1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const char* q = text.data() + pos;
  const char* const end = text.data() + text.size();
  if (q >= end || *q == '\n' || *q == '\r') return false;
  for (std::size_t j = 0; j < w; ++j) {
    const bool last = j + 1 == w;
    if (j == 0 && names) {
      const char* f = q;
      while (q < end && *q != sep && *q != '\n' && *q != '\r') ++q;
      name = std::string_view(f, static_cast<std::size_t>(q - f));
    } else {
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
    line_end = true;
  } else {
    line_end = false;
  }
  pos = static_cast<std::size_t>(q - text.data());
  return true;
}

bool has_quotes(std::string_view text) {
  return std::memchr(text.data(), '"', text.size()) != nullptr;
}

struct Chunk {
  std::string text;
  std::uint64_t offset = 0;  // in the file
};

// The file in blocks of whole records (the byte-order mark left out).
class BlockReader {
 public:
  BlockReader(const std::string& path, char separator, std::size_t block_bytes)
      : path_(path), sep_(separator), block_(std::max<std::size_t>(block_bytes, 1)) {
    f_ = std::fopen(path.c_str(), "rb");
    if (f_ == nullptr)
      throw textio::IoError(std::strerror(errno), "OPEN", textio::units::kImportTable, path);
    read(std::max<std::size_t>(block_, 3));
    if (std::string_view(buf_).starts_with("\xEF\xBB\xBF")) {
      buf_.erase(0, 3);
      offset_ = 3;
    }
  }
  ~BlockReader() { std::fclose(f_); }
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  bool next(Chunk& c) {
    for (bool fresh = first_;; fresh = false) {
      if (!fresh && !eof_) read(block_);
      first_ = false;
      const std::size_t cut = eof_ ? buf_.size() : last_record_end(buf_, sep_);
      if (cut > 0) {
        // The block takes the buffer; the start of the next record stays.
        std::string tail(buf_, cut);
        buf_.resize(cut);
        c.text.swap(buf_);
        buf_.swap(tail);
        c.offset = offset_;
        offset_ += cut;
        return true;
      }
      if (eof_) return false;
    }
  }

 private:
  void read(std::size_t bytes) {
    const std::size_t had = buf_.size();
    if (buf_.capacity() < had + bytes) buf_.reserve(had + bytes + bytes / 8);
    buf_.resize(had + bytes);
    const std::size_t got = std::fread(buf_.data() + had, 1, bytes, f_);
    buf_.resize(had + got);
    if (got < bytes) {
      if (std::ferror(f_) != 0)
        throw textio::IoError(std::strerror(errno), "READ", textio::units::kImportTable, path_);
      eof_ = true;
    }
  }

  std::string path_;
  char sep_;
  std::size_t block_;
  std::FILE* f_ = nullptr;
  std::string buf_;
  std::uint64_t offset_ = 0;
  bool eof_ = false;
  bool first_ = true;
};

// How one reading takes the columns.
struct Plan {
  std::vector<std::string> header;
  std::size_t width = 0;
  bool names = false;
  std::vector<char> texts;               // per header column: read as texts
  std::vector<std::size_t> value_cols;   // header columns read as numbers
  std::vector<std::size_t> text_cols;    // header columns read as texts (from 1)
  // Per value column: supplementary (--sup-cols).
  std::vector<char> sup_col;
  std::vector<std::size_t> active, sup;  // indices into value_cols
  // --sup-rows as read so far: positions (0-based ranges) and names.
  std::vector<std::pair<std::int64_t, std::int64_t>> row_ranges;
  std::set<std::string, std::less<>> row_names;
};

struct Parsed {
  std::int64_t records = 0, lines = 0;
  std::vector<std::int64_t> line;  // of each record
  std::vector<char> blank;
  std::vector<float> values;       // records x value columns
  std::string texts;               // per record: the names, then each text column
  std::vector<std::size_t> text_end;
  std::vector<std::int64_t> first_text, first_large;  // per header column: record or -1
  std::vector<std::string> first_text_cell;
  std::vector<Refusal> large;
  std::int64_t first_nonblank = -1, last_nonblank = -1;
  // Every record read in one sweep, every value cell already shortest.
  bool plain = true;
  // Per record, over the active columns (as ordinals among them): the first
  // negative value, the first missing one and how many are missing.
  struct Summary {
    std::int64_t first_negative = -1, first_missing = -1, missing = 0;
  };
  std::vector<Summary> summary;
  bool failed = false;
  Refusal failure;
};

template <class Splitter>
void parse_records(const Plan& plan, const input::CsvSettings& settings, std::string_view text,
                   Parsed& b) {
  const std::size_t w = plan.width;
  b.first_text.assign(w, -1);
  b.first_large.assign(w, -1);
  b.first_text_cell.assign(w, {});
  b.large.assign(w, {});
  Splitter splitter(text, settings.separator);
  std::int64_t pending_blank = -1;
  Record r;
  const std::size_t nv = plan.value_cols.size();
  for (;;) {
    if constexpr (std::is_same_v<Splitter, LineSplitter>) {
      if (plan.text_cols.empty() && pending_blank < 0 && settings.separator != settings.decimal) {
        std::size_t pos = splitter.position();
        bool line_end = false;
        std::string_view name;
        b.values.resize(b.values.size() + nv);
        bool shortest = b.plain;
        if (quick_record(plan.width, plan.names, settings.separator, settings.decimal, text, pos, line_end,
                         b.values.data() + b.values.size() - nv, name, shortest)) {
          b.plain = shortest;
          const std::int64_t k = b.records++;
          b.line.push_back(splitter.line() - 1);
          b.blank.push_back(0);
          if (b.first_nonblank < 0) b.first_nonblank = k;
          b.last_nonblank = k;
          if (plan.names) {
            b.texts.append(name);
            b.text_end.push_back(b.texts.size());
          }
          splitter.skip_to(pos, line_end);
          continue;
        }
        b.values.resize(b.values.size() - nv);
      }
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
  b.lines = splitter.line() - 1;
}

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
    parse_records<RecordSplitter>(plan, settings, text, b);
  } else {
    parse_records<LineSplitter>(plan, settings, text, b);
  }
  const std::size_t nv = plan.value_cols.size();
  b.summary.resize(static_cast<std::size_t>(b.records));
  for (std::size_t k = 0; k < b.summary.size() && (k + 1) * nv <= b.values.size(); ++k)
    b.summary[k] = summarize(plan, b.values.data() + k * nv);
}

struct Block {
  std::uint64_t offset = 0, size = 0;
  std::int64_t first_record = 0, records = 0;
  bool plain = false;  // see Parsed::plain
};

std::string plural(std::int64_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

bool whole(std::string_view s, std::int64_t& value) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
  value = 0;
  for (char c : s) {
    if (value > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
      value = std::numeric_limits<std::int64_t>::max();
      return true;
    }
    value = value * 10 + (c - '0');
  }
  return true;
}

// The items of a --sup-rows list as select_items reads them; its refusals
// are left to it, once the rows are known.
void read_row_list(std::string_view list, Plan& plan) {
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view item = trim(list.substr(start, end - start));
    start = end + 1;
    std::int64_t a = 0, b = 0;
    const std::size_t dash = item.find('-');
    if (whole(item, a)) {
      plan.row_ranges.emplace_back(a - 1, a - 1);
    } else if (dash != std::string_view::npos && whole(item.substr(0, dash), a) &&
               whole(item.substr(dash + 1), b)) {
      plan.row_ranges.emplace_back(a - 1, b - 1);
    } else {
      plan.row_names.emplace(item);
    }
  }
}

}  // namespace

struct StreamedImport::State {
  const Options& options;
  std::string file;
  input::CsvSettings settings;
  analysis::WorkerPool pool;
  std::size_t in_flight;
  bool coa = false;

  // The outcome.
  std::int64_t rows_total = 0;  // every row, supplementary ones too
  std::int64_t active_rows = 0, missing = 0;
  bool names = false;
  std::vector<std::string> variables, active_objects, notices;
  input::SupplementaryData supplementary;
  std::vector<char> row_sup;
  std::vector<std::size_t> written_cols;  // header columns of the active variables
  std::size_t width = 0;                   // of the header
  std::vector<Block> blocks;
  char separator = ',';

  // One reading's findings.
  struct Reading {
    std::vector<char> found;
    std::vector<std::string> found_text;
    std::vector<std::int64_t> found_line;
    bool col0_text = false;
    std::optional<CsvError> col0_large;
    std::optional<CsvError> sup_row_negative, sup_col_negative, active_refusal;
    std::vector<std::string> objects;  // every row's name
    std::vector<input::csv_detail::LevelCoder> coders;  // per text column
    std::vector<char> row_sup;
    std::int64_t records = 0, next_line = 0, last_nonblank = -1;
    std::int64_t active_rows = 0, missing = 0;
    std::int64_t carried_blank_line = -1;  // first blank after the last nonblank record
    std::vector<std::int64_t> pending_blank_rows;  // one-column tables: blank rows not yet known to be rows
    std::vector<Block> blocks;
    input::SupplementaryData sup;
  };

  State(const Options& o, const std::string& f, std::size_t threads)
      : options(o),
        file(f),
        settings{o.separator, o.decimal, true},
        pool(threads),
        in_flight(2 * threads + 1),
        coa(o.analysis == ImportAnalysis::kCorrespondence),
        separator(o.separator) {}

  [[noreturn]] void refuse(const CsvError& e) { throw SetupError(e.message(file)); }

  bool is_sup_row(const Plan& plan, std::int64_t i, std::string_view name) const {
    for (const auto& [a, b] : plan.row_ranges)
      if (i >= a && i <= b) return true;
    return plan.names && !plan.row_names.empty() && plan.row_names.count(trim(name)) > 0;
  }

  // A row of the table: its values (per value column) and texts.
  void take_row(const Plan& plan, Reading& rd, std::int64_t i, std::int64_t line, const float* v,
                const std::vector<std::string_view>& texts, const Parsed::Summary& summary) {
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
          rd.sup_row_negative = refusal(
              k, coa ? input::shortest_float(x) +
                           " is negative: a supplementary row of a correspondence analysis takes "
                           "values of 0 or more"
                     : input::shortest_float(x) +
                           " is negative: principal component analysis takes values of 0 or more, "
                           "for supplementary objects as for the others");
        rd.sup.objects.push_back(x);
      }
      return;
    }
    ++rd.active_rows;
    for (std::size_t k : plan.sup) {
      const float x = v[k];
      if (coa && !rd.sup_col_negative && !analysis::missing_cell(x) && x < 0.0f)
        rd.sup_col_negative = refusal(k, input::shortest_float(x) +
                                             " is negative: a supplementary column of a "
                                             "correspondence analysis takes values of 0 or more");
      rd.sup.variables.push_back(x);
    }
    rd.missing += summary.missing;
    if (rd.active_refusal) return;
    std::int64_t a = summary.first_negative;
    if (coa && summary.first_missing >= 0 && (a < 0 || summary.first_missing < a))
      a = summary.first_missing;
    if (a >= 0) {
      const std::size_t k = plan.active[static_cast<std::size_t>(a)];
      const float x = v[k];
      if (analysis::missing_cell(x)) {
        rd.active_refusal = refusal(k, "a missing value cannot enter a correspondence analysis");
      } else {
        rd.active_refusal = refusal(
            k, coa ? input::shortest_float(x) +
                         " is negative: correspondence analysis takes counts or other values of 0 "
                         "or more"
                   : input::shortest_float(x) +
                         " is negative: the data file marks a missing value by a negative number, "
                         "so principal component analysis takes values of 0 or more");
      }
    }
  }

  // Takes a parsed block in order; false once the reading is refused.
  void merge(const Plan& plan, Reading& rd, const Chunk& chunk, const Parsed& b) {
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
        take_row(plan, rd, rd.pending_blank_rows[p], rd.pending_blank_rows[p + 1],
                 blank_values.data(), blank_texts, blank_summary);
      rd.pending_blank_rows.clear();
      rd.carried_blank_line = -1;
      for (std::size_t t = 0; t < nt; ++t) {
        const std::size_t e = b.text_end[ks * nt + t];
        const std::size_t s = ks * nt + t == 0 ? 0 : b.text_end[ks * nt + t - 1];
        texts[t] = std::string_view(b.texts).substr(s, e - s);
      }
      take_row(plan, rd, first_record + k, line, b.values.data() + ks * nv, texts, b.summary[ks]);
      rd.last_nonblank = first_record + k;
    }
    rd.records += b.records;
    rd.next_line += b.lines;
    rd.blocks.push_back(Block{chunk.offset, chunk.text.size(), first_record, b.records, b.plain});
  }

  // One reading of the table under `plan`; false when it must be read again
  // under another (columns of texts or row names found).
  bool read(Plan& plan, Reading& rd) {
    BlockReader reader(options.import_file, separator, import_tuning().block_bytes);
    Chunk chunk;
    // The header: the first record that is not blank.
    std::int64_t line_base = 1;
    std::optional<Chunk> rest;
    while (!rest) {
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
      rest = Chunk{chunk.text.substr(splitter.position()), chunk.offset + splitter.position()};
      line_base += splitter.line() - 1;
    }
    prepare(plan);
    const std::size_t w = plan.width;
    rd.found.assign(w, 0);
    rd.found_text.assign(w, {});
    rd.found_line.assign(w, 0);
    rd.coders.assign(plan.text_cols.size(), {});
    rd.next_line = line_base;

    struct Slot {
      Chunk chunk;
      Parsed parsed;
      analysis::WorkerPool::Handle h;
    };
    std::deque<std::unique_ptr<Slot>> window;
    auto settle = [&] {
      for (auto& s : window) {
        try {
          pool.wait(s->h);
        } catch (...) {
        }
      }
      window.clear();
    };
    try {
      auto launch = [&](Chunk&& c) {
        auto slot = std::make_unique<Slot>();
        slot->chunk = std::move(c);
        Slot* p = slot.get();
        p->h = pool.start(1, [this, &plan, p](std::size_t) {
          parse_block(plan, settings, p->chunk.text, p->parsed);
        });
        window.push_back(std::move(slot));
      };
      auto take_front = [&] {
        Slot& s = *window.front();
        pool.wait(s.h);
        merge(plan, rd, s.chunk, s.parsed);
        window.pop_front();
      };
      if (!rest->text.empty()) launch(std::move(*rest));
      for (;;) {
        while (window.size() >= in_flight) take_front();
        if (!reader.next(chunk)) break;
        launch(std::move(chunk));
        chunk = Chunk{};
      }
      while (!window.empty()) take_front();
    } catch (...) {
      settle();
      throw;
    }

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
  void prepare(Plan& plan) {
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

  // The refusals and the outcome of the last reading, in the order of the
  // whole-table import.
  void finish(const Plan& plan, Reading& rd) {
    if (!plan.names && rd.col0_large) refuse(*rd.col0_large);
    names = plan.names;
    const std::size_t shift = names ? 1 : 0;
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
    for (const QualitativeColumn& q : qualitative)
      notices.push_back(qualitative_notice(file, q, names, options.decimal));

    const std::int64_t rows = rows_total;
    const std::size_t data_width = plan.width - shift;
    std::vector<std::string> column_names(plan.header.begin() + static_cast<std::ptrdiff_t>(shift),
                                          plan.header.end());
    std::vector<std::int64_t> value_of(data_width, -1);
    for (std::size_t k = 0; k < plan.value_cols.size(); ++k) value_of[plan.value_cols[k] - shift] = static_cast<std::int64_t>(k);
    if (!options.sup_rows.empty()) {
      const std::vector<std::int64_t> chosen =
          select_items(options.sup_rows, "--sup-rows", "row", rows, rd.objects);
      std::vector<std::int64_t> mine;
      for (std::int64_t i = 0; i < rows; ++i)
        if (rd.row_sup[static_cast<std::size_t>(i)]) mine.push_back(i);
      if (mine != chosen) throw std::logic_error("the rows read as supplementary differ from --sup-rows");
    }
    std::vector<char> sup_value(plan.value_cols.size(), 0);
    if (!options.sup_cols.empty()) {
      for (std::int64_t c : select_items(options.sup_cols, "--sup-cols", "column",
                                         static_cast<std::int64_t>(data_width), column_names)) {
        const std::int64_t k = value_of[static_cast<std::size_t>(c)];
        if (k < 0)
          throw SetupError("--sup-cols: column " + std::to_string(c + 1) + " (\"" +
                           column_names[static_cast<std::size_t>(c)] +
                           "\") holds texts, not numbers: it is a qualitative variable, "
                           "supplementary without being named");
        sup_value[static_cast<std::size_t>(k)] = 1;
      }
    }
    if (sup_value != plan.sup_col) throw std::logic_error("the columns read as supplementary differ from --sup-cols");
    const bool lists = !options.sup_rows.empty() || !options.sup_cols.empty();
    if (plan.active.empty())
      throw SetupError(file + ": no column of numbers is left to analyse" +
                       (qualitative.empty() ? "" : " (the columns of texts are qualitative)"));
    if (lists && (rd.active_rows < 2 || plan.active.size() < 2))
      throw SetupError("--sup-rows and --sup-cols leave " + plural(rd.active_rows, "active object") +
                       " and " + plural(static_cast<std::int64_t>(plan.active.size()), "active variable") +
                       ": the analysis needs at least two of each");
    if (rd.sup_row_negative) refuse(*rd.sup_row_negative);
    if (coa && rd.sup_col_negative) refuse(*rd.sup_col_negative);
    if (rd.active_refusal) refuse(*rd.active_refusal);

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
    for (QualitativeColumn& q : qualitative) {
      // Levels of the active objects only, renumbered in their order.
      std::vector<std::int32_t> renumber(q.levels.size(), QualitativeColumn::kNoLevel);
      for (std::int64_t i = 0; i < rows; ++i) {
        const std::int32_t c = q.codes[static_cast<std::size_t>(i)];
        if (!row_sup[static_cast<std::size_t>(i)] && c != QualitativeColumn::kNoLevel)
          renumber[static_cast<std::size_t>(c)] = 0;
      }
      QualitativeColumn kept;
      kept.name = q.name;
      kept.position = q.position;
      for (std::size_t k = 0; k < q.levels.size(); ++k) {
        if (renumber[k] == QualitativeColumn::kNoLevel) continue;
        renumber[k] = static_cast<std::int32_t>(kept.levels.size());
        kept.levels.push_back(q.levels[k]);
      }
      for (std::int64_t i = 0; i < rows; ++i) {
        if (row_sup[static_cast<std::size_t>(i)]) continue;
        const std::int32_t c = q.codes[static_cast<std::size_t>(i)];
        kept.codes.push_back(c == QualitativeColumn::kNoLevel ? c : renumber[static_cast<std::size_t>(c)]);
      }
      supplementary.qualitative.push_back(std::move(kept));
    }
    blocks = std::move(rd.blocks);
    width = plan.width;
  }

  // Where each column was first seen to hold text, from the first reading.
  std::vector<std::string> first_text;
  std::vector<std::int64_t> first_line;

  void run() {
    Plan plan;
    Reading first;
    if (read(plan, first)) {
      first_text = first.found_text;
      first_line = first.found_line;
      finish(plan, first);
      return;
    }
    first_text = std::move(first.found_text);
    first_line = std::move(first.found_line);
    first = Reading{};
    Reading again;
    if (!read(plan, again)) throw std::logic_error("the table reads differently a second time");
    finish(plan, again);
  }
};

StreamedImport::StreamedImport(const Options& options, const std::string& file,
                               std::size_t threads)
    : s_(std::make_unique<State>(options, file, threads)) {
  s_->run();
}

StreamedImport::~StreamedImport() = default;

std::int64_t StreamedImport::rows() const { return s_->active_rows; }
std::int64_t StreamedImport::columns() const {
  return static_cast<std::int64_t>(s_->variables.size());
}
std::int64_t StreamedImport::missing() const { return s_->missing; }
bool StreamedImport::object_names() const { return s_->names; }
const std::vector<std::string>& StreamedImport::variables() const { return s_->variables; }
const std::vector<std::string>& StreamedImport::objects() const { return s_->active_objects; }
const input::SupplementaryData& StreamedImport::supplementary() const { return s_->supplementary; }
const std::vector<std::string>& StreamedImport::notices() const { return s_->notices; }

namespace {

// The data file's lines of one block: the active rows' active values.
template <class Splitter>
void edit_records(std::string_view text, char separator, char decimal, std::int64_t first_record,
                  std::int64_t rows, const std::vector<char>& row_sup,
                  const std::vector<std::size_t>& cols, std::string& out) {
  Splitter splitter(text, separator);
  out.reserve(text.size() + text.size() / 4);
  char buf[input::kShortestFloatChars];
  Record r;
  for (std::int64_t i = first_record; i < rows && splitter.next(r); ++i) {
    if (row_sup[static_cast<std::size_t>(i)]) continue;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      if (k > 0) out += ' ';
      const std::string_view cell = r.fields[cols[k]].text;
      if (decimal == '.' && input::is_shortest_float_text(cell)) {
        out.append(cell);
        continue;
      }
      float v = kMissing;
      bool too_large = false;
      if (!is_missing(cell)) input::parse_csv_number(cell, decimal, v, too_large);
      out.append(buf, input::write_shortest_float(buf, analysis::data_value(v)));
    }
    out += '\n';
  }
}

// The same for a block whose cells are their own data-file text: the
// written cells of each kept line as they are, a blank between them.
void copy_plain_block(std::string_view text, char separator, std::int64_t first_record,
                      std::int64_t records, std::int64_t rows, const std::vector<char>& row_sup,
                      const std::vector<char>& written, std::string& out) {
  out.reserve(text.size() + 16);
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool every = std::find(written.begin(), written.end(), 0) == written.end();
  const auto sup = row_sup.begin() + first_record;
  if (every && first_record + records <= rows && std::find(sup, sup + records, 1) == sup + records &&
      std::memchr(p, '\r', text.size()) == nullptr) {
    // Every line kept whole, each ending with LF: the block itself.
    out.assign(text);
    for (char& c : out) c = c == separator ? ' ' : c;
    if (!out.empty() && out.back() != '\n') out += '\n';
    return;
  }
  for (std::int64_t i = first_record; i < rows && p < end; ++i) {
    const bool keep = !row_sup[static_cast<std::size_t>(i)];
    if (every) {
      // The whole line, its separators made blanks.
      const char* f = p;
      while (p < end && *p != '\n' && *p != '\r') ++p;
      if (keep) {
        const std::size_t at = out.size();
        out.append(f, static_cast<std::size_t>(p - f));
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), separator, ' ');
        out += '\n';
      }
      if (p < end) p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
      continue;
    }
    bool first = true;
    for (std::size_t j = 0;; ++j) {
      const char* f = p;
      while (p < end && *p != separator && *p != '\n' && *p != '\r') ++p;
      if (keep && written[j]) {
        if (!first) out += ' ';
        out.append(f, static_cast<std::size_t>(p - f));
        first = false;
      }
      if (p < end && *p == separator) {
        ++p;
        continue;
      }
      break;
    }
    if (keep) out += '\n';
    if (p < end) p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
  }
}

void edit_block(std::string_view text, char separator, char decimal, std::int64_t first_record,
                std::int64_t rows, const std::vector<char>& row_sup,
                const std::vector<std::size_t>& cols, std::string& out) {
  if (has_quotes(text))
    edit_records<RecordSplitter>(text, separator, decimal, first_record, rows, row_sup, cols, out);
  else
    edit_records<LineSplitter>(text, separator, decimal, first_record, rows, row_sup, cols, out);
}

}  // namespace

void StreamedImport::write_rows(const std::function<void(std::string_view)>& sink) const {
  State& s = *s_;
  if (s.blocks.empty()) return;
  const int fd = ::open(s.options.import_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw textio::IoError(std::strerror(errno), "OPEN", textio::units::kImportTable,
                          s.options.import_file);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // Each block is read and edited on the pool, and handed to the sink in order.
  struct Slot {
    std::string text, out;
    const Block* block = nullptr;
    int error = 0;  // errno of a failed read; -1: the table is shorter than it was
    analysis::WorkerPool::Handle h;
  };
  std::deque<std::unique_ptr<Slot>> window;
  std::vector<char> written(s.width, 0);
  for (std::size_t j : s.written_cols) written[j] = 1;
  auto job = [&s, &written, fd](Slot& slot) {
    const Block& b = *slot.block;
    slot.text.resize(b.size);
    std::size_t got = 0;
    while (got < b.size) {
      const ssize_t n = ::pread(fd, slot.text.data() + got, b.size - got,
                                static_cast<off_t>(b.offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        slot.error = n < 0 ? errno : -1;
        return;
      }
      got += static_cast<std::size_t>(n);
    }
    if (b.plain)
      copy_plain_block(slot.text, s.separator, b.first_record, b.records, s.rows_total, s.row_sup,
                       written, slot.out);
    else
      edit_block(slot.text, s.separator, s.settings.decimal, b.first_record, s.rows_total,
                 s.row_sup, s.written_cols, slot.out);
    std::string().swap(slot.text);
  };
  try {
    auto take_front = [&] {
      Slot& slot = *window.front();
      s.pool.wait(slot.h);
      if (slot.error != 0)
        throw textio::IoError(slot.error > 0 ? std::strerror(slot.error) : "the table changed while read",
                              "READ", textio::units::kImportTable, s.options.import_file);
      sink(slot.out);
      window.pop_front();
    };
    for (const Block& b : s.blocks) {
      if (b.first_record >= s.rows_total) break;
      while (window.size() >= s.in_flight) take_front();
      auto slot = std::make_unique<Slot>();
      slot->block = &b;
      Slot* p = slot.get();
      p->h = s.pool.start(1, [&job, p](std::size_t) { job(*p); });
      window.push_back(std::move(slot));
    }
    while (!window.empty()) take_front();
  } catch (...) {
    for (auto& slot : window) {
      try {
        s.pool.wait(slot->h);
      } catch (...) {
      }
    }
    throw;
  }
}

}  // namespace orthaxis::driver
