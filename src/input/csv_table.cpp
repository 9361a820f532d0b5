#include "input/csv_table.h"

#include "input/csv_records.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <utility>

namespace orthaxis::input {

namespace {

constexpr std::size_t kShownText = 20;  // characters of an offending cell in a message

using csv_detail::Field;
using csv_detail::Record;
using csv_detail::RecordSplitter;
using csv_detail::trim;
using csv_detail::is_missing;
using csv_detail::cell_value;
using csv_detail::separator_hint;
using csv_detail::LevelCoder;

std::string shown(std::string_view text) {
  std::string s(text.substr(0, kShownText));
  if (text.size() > kShownText) s += "...";
  return "\"" + s + "\"";
}

std::string plural(std::int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void check_width(const Record& r, std::size_t width) {
  const std::int64_t got = static_cast<std::int64_t>(r.fields.size());
  const std::int64_t want = static_cast<std::int64_t>(width);
  if (got != want) throw CsvError(csv_detail::width_reason(got, want), r.line);
}

}  // namespace

namespace csv_detail {

std::string width_reason(std::int64_t got, std::int64_t want) {
  std::string reason = plural(got, "field") + " where the header row has " + std::to_string(want);
  if (got == want + 1)
    reason += " (a header without a cell above the row names? give it an empty first cell)";
  return reason;
}

float cell_value(const Field& cell, const CsvSettings& s, std::int64_t line, std::int64_t field,
                 const std::string& name) {
  if (is_missing(cell.text)) return CsvTable::kMissing;
  float v = 0.0f;
  bool too_large = false;
  if (parse_csv_number(cell.text, s.decimal, v, too_large)) return v;
  std::string reason = shown(cell.text);
  if (too_large) {
    reason += " is too large for single precision";
  } else {
    reason += " is not a number";
    const char other = s.decimal == '.' ? ',' : '.';
    if (cell.text.find(other) != std::string::npos)
      reason += std::string(" (decimal mark '") + other + "'? use --dec " + other + ")";
  }
  throw CsvError(reason, line, field, name);
}

// A header read as one field that holds another separator: the table was
// most likely written with that one.
std::string separator_hint(std::string_view header, char separator) {
  for (const auto& [c, option] : {std::pair{',', "','"}, std::pair{';', "';'"},
                                  std::pair{'\t', "tab"}}) {
    if (c != separator && header.find(c) != std::string_view::npos)
      return std::string(" (the header row holds ") + (c == '\t' ? "tabs" : option) +
             ": use --sep " + option + ")";
  }
  return {};
}

}  // namespace csv_detail

CsvError::CsvError(std::string reason, std::int64_t line, std::int64_t field,
                   std::string field_name)
    : std::runtime_error(reason),
      reason_(std::move(reason)),
      line_(line),
      field_(field),
      field_name_(std::move(field_name)) {}

std::string CsvError::message(std::string_view file) const {
  std::string s(file);
  if (line_ > 0) s += ", line " + std::to_string(line_);
  if (field_ > 0) {
    s += ", column " + std::to_string(field_);
    if (!field_name_.empty()) s += " (" + shown(field_name_) + ")";
  }
  return s + ": " + reason_;
}

namespace {

// Exact powers of ten in single precision (5^10 < 2^24).
constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                  1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// A number of at most 7 significant digits (below 2^24) scaled by at most
// ten powers of ten: both are exact floats, so one multiplication or
// division rounds the value correctly, as the full conversion does. False
// (nothing set) when the text is not such a number, or not a number at all.
bool quick_number(std::string_view text, char decimal, float& value) {
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint32_t m = 0;
  int significant = 0, digits = 0, scale = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits) {
    if (m == 0 && *p == '0') continue;
    if (++significant > 7) return false;
    m = m * 10 + static_cast<std::uint32_t>(*p - '0');
  }
  if (p < end && *p == decimal) {
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p, ++digits) {
      --scale;
      if (m == 0 && *p == '0') continue;
      if (++significant > 7) return false;
      m = m * 10 + static_cast<std::uint32_t>(*p - '0');
    }
  }
  if (digits == 0) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool down = false;
    if (p < end && (*p == '+' || *p == '-')) down = *p++ == '-';
    int e = 0, exponent_digits = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
      if (++exponent_digits > 3) return false;
      e = e * 10 + (*p - '0');
    }
    if (exponent_digits == 0) return false;
    scale += down ? -e : e;
  }
  if (p != end || m >= (1u << 24)) return false;
  if (m == 0) {
    value = negative ? -0.0f : 0.0f;
    return true;
  }
  if (scale < -10 || scale > 10) return false;
  const float f = static_cast<float>(m);
  const float v = scale < 0 ? f / kPowersOfTen[-scale] : f * kPowersOfTen[scale];
  value = negative ? -v : v;
  return true;
}

}  // namespace

bool parse_csv_number(std::string_view text, char decimal, float& value, bool& too_large) {
  too_large = false;
  text = trim(text);
  if (quick_number(text, decimal, value)) return true;
  std::string buf;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') buf += '-';
    ++i;
  }
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') buf += text[i++], ++digits;
  if (i < text.size() && text[i] == decimal) {
    buf += '.';
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') buf += text[i++], ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    buf += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) buf += text[i++];
    std::size_t exponent_digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') buf += text[i++], ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (i != text.size()) return false;
  const char* end = buf.data() + buf.size();
  auto res = std::from_chars(buf.data(), end, value, std::chars_format::general);
  if (res.ec == std::errc() && res.ptr == end) return true;
  // Out of range: an underflow rounds to a subnormal or zero, an overflow is
  // refused (the data file could not hold it).
  float w = std::strtof(buf.c_str(), nullptr);
  if (std::isinf(w)) {
    too_large = true;
    return false;
  }
  value = w;
  return true;
}

char* write_shortest_float(char* out, float value) {
  if (value == 0.0f) {
    *out = '0';
    return out + 1;
  }
  return std::to_chars(out, out + kShortestFloatChars, value).ptr;
}

bool is_shortest_float_text(std::string_view t) {
  // Plain digits with at most one point, no sign, no exponent, no blanks:
  // "0" alone, 0.ddd or a whole part with no leading 0, and a last digit
  // after the point that is not 0.
  const std::size_t n = t.size();
  if (n == 0 || n > 12) return false;
  const char* s = t.data();
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t i = 0, significant = 0;
  if (s[0] == '0') {
    if (n == 1) return true;
    if (s[1] != '.') return false;
    i = 1;
  } else {
    while (i < n && digit(s[i])) ++i;
    // The fixed form of a whole number from 2^24 on gives its exact digits.
    if (i == 0 || i > 7) return false;
    significant = i;
  }
  if (i == n) {
    while (s[significant - 1] == '0') --significant;  // trailing zeros of a whole number
  } else {
    if (s[i] != '.' || i + 1 == n || s[n - 1] == '0') return false;
    std::size_t k = i + 1;
    if (significant == 0)
      while (s[k] == '0') ++k;  // leading zeros of 0.00ddd
    for (; k < n; ++k) {
      if (!digit(s[k])) return false;
      ++significant;
    }
  }
  // Six significant digits or fewer name one float each, so its shortest
  // digits are these; the fixed form is chosen while it is no longer than
  // the scientific one (d.ddde+XX).
  if (significant > 6) return false;
  return n <= significant + (significant > 1 ? 1 : 0) + 4;
}

std::string shortest_float(float value) {
  char buf[kShortestFloatChars];
  return std::string(buf, write_shortest_float(buf, value));
}

namespace {

// What one reading of the text keeps as it goes: the header, the coders of
// the text columns, the columns found to hold text and where, the table
// taken so far and the first column's cells (names or values: known once
// every row is seen).
struct Pass {
  const CsvSettings& settings;
  const std::vector<char>& texts;
  std::vector<char>& found;
  std::size_t width = 0;
  std::vector<std::string> names_in_header{};  // copied: the splitter reuses its storage
  std::vector<LevelCoder> coders{};
  std::size_t text_columns = 0;
  std::vector<QualitativeColumn> first_found{};
  CsvTable t{};
  std::vector<std::string> first_column{};
};

// The header: the first record that is not blank.
void read_header(RecordSplitter& splitter, Pass& p) {
  Record header;
  do {
    if (!splitter.next(header)) throw CsvError("the table is empty (no header row)");
  } while (header.blank());
  p.width = header.fields.size();
  for (const Field& f : header.fields) p.names_in_header.emplace_back(f.text);
  p.coders.resize(p.width);
  for (std::size_t j = 1; j < p.width; ++j) p.text_columns += p.texts[j] ? 1 : 0;
  p.found.assign(p.width, 0);
  p.first_found.resize(p.width);
}

// A row of the table. Columns 2 onwards always hold values; the first
// column is kept as text until every row is seen.
void take_record(Pass& p, const Record& r) {
  const std::size_t width = p.width;
  const CsvSettings& settings = p.settings;
  const std::vector<char>& texts = p.texts;
  std::vector<char>& found = p.found;
  CsvTable& t = p.t;
  check_width(r, width);
  t.lines.push_back(r.line);
  p.first_column.emplace_back(r.fields[0].text);
  for (std::size_t j = 1; j < width; ++j) {
    const Field& cell = r.fields[j];
    if (texts[j]) {
      p.coders[j].add(cell.text, settings);
      continue;
    }
    if (settings.qualitative && !found[j] && !is_missing(cell.text)) {
      float v;
      bool too_large;
      if (!parse_csv_number(cell.text, settings.decimal, v, too_large) && !too_large) {
        found[j] = 1;
        p.first_found[j].first_text = std::string(trim(cell.text));
        p.first_found[j].first_line = r.line;
      }
    }
    if (found[j]) {
      t.values.push_back(CsvTable::kMissing);
      continue;
    }
    t.values.push_back(cell_value(cell, settings, r.line, static_cast<std::int64_t>(j) + 1,
                                  p.names_in_header[j]));
  }
}

// Whether the first column holds names: an empty first header cell, or a
// cell that is not a number.
bool first_column_names(const Pass& p) {
  bool names = p.width >= 2 && trim(p.names_in_header[0]).empty();
  for (std::size_t i = 0; i < p.first_column.size() && !names; ++i) {
    float v;
    bool too_large;
    names = !is_missing(p.first_column[i]) &&
            !parse_csv_number(p.first_column[i], p.settings.decimal, v, too_large) && !too_large;
  }
  return names;
}

// The first column is a variable: put its values in front of each row.
void put_first_column_in_front(Pass& p) {
  CsvTable& t = p.t;
  const std::size_t stored = p.width - 1 - p.text_columns;
  std::vector<float> values;
  values.reserve(t.lines.size() * (stored + 1));
  for (std::size_t i = 0; i < t.lines.size(); ++i) {
    values.push_back(cell_value(Field{p.first_column[i], false}, p.settings, t.lines[i], 1,
                                p.names_in_header[0]));
    auto row = t.values.begin() + static_cast<std::ptrdiff_t>(i * stored);
    values.insert(values.end(), row, row + static_cast<std::ptrdiff_t>(stored));
  }
  t.values = std::move(values);
}

// One reading of the text. Columns marked in `texts` are read as
// qualitative columns; with settings.qualitative a value column found to
// hold text is marked in `found` (the reading is then to be done again).
CsvTable parse_pass(std::string_view text, const CsvSettings& settings,
                    const std::vector<char>& texts, std::vector<char>& found) {
  RecordSplitter splitter(text, settings.separator);
  Pass p{settings, texts, found};
  read_header(splitter, p);
  const std::size_t width = p.width;
  CsvTable& t = p.t;
  std::vector<std::int64_t> blank_lines;  // blank lines not yet known to be inside the table
  for (Record r; splitter.next(r);) {
    if (r.blank()) {
      blank_lines.push_back(r.line);
      continue;
    }
    for (std::int64_t line : blank_lines) take_record(p, Record{line, {Field{}}});
    blank_lines.clear();
    take_record(p, r);
  }
  if (t.lines.empty()) throw CsvError("the table has a header row but no rows of values");

  const bool names = first_column_names(p);
  if (names && width == 1)
    throw CsvError("the table has object names but no columns of values" +
                   separator_hint(p.names_in_header[0], settings.separator));
  for (std::size_t j = 1; j < width; ++j) {
    if (!found[j]) continue;
    // The column's first text, kept for the notice of the reading to come.
    QualitativeColumn& q = t.qualitative.emplace_back(std::move(p.first_found[j]));
    q.position = static_cast<std::int64_t>(names ? j : j + 1);
  }
  if (!t.qualitative.empty()) return std::move(t);  // read again with these columns as texts

  const std::size_t first = names ? 1 : 0;
  for (std::size_t j = first; j < width; ++j) {
    const std::int64_t position = static_cast<std::int64_t>(names ? j : j + 1);
    if (j > 0 && texts[j]) {
      QualitativeColumn q = p.coders[j].finish();
      q.name = p.names_in_header[j];
      q.position = position;
      t.qualitative.push_back(std::move(q));
      continue;
    }
    t.variables.push_back(p.names_in_header[j]);
    if (p.text_columns > 0) t.positions.push_back(position);
  }
  if (names)
    t.objects = std::move(p.first_column);
  else
    put_first_column_in_front(p);
  return std::move(t);
}

}  // namespace

CsvTable parse_csv(std::string_view text, const CsvSettings& settings) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<char> texts, found;
  // The header's width is not known before the first reading.
  {
    RecordSplitter splitter(text, settings.separator);
    Record header;
    std::size_t width = 1;
    while (splitter.next(header)) {
      if (header.blank()) continue;
      width = header.fields.size();
      break;
    }
    texts.assign(width, 0);
  }
  CsvTable t = parse_pass(text, settings, texts, found);
  if (std::count(found.begin(), found.end(), 1) > 0) {
    // Columns found to hold text: read again with them as texts, keeping
    // where each was first seen for the notice.
    std::vector<QualitativeColumn> seen = std::move(t.qualitative);
    for (std::size_t j = 0; j < found.size(); ++j) texts[j] = found[j];
    t = parse_pass(text, settings, texts, found);
    for (QualitativeColumn& q : t.qualitative) {
      for (const QualitativeColumn& s : seen) {
        if (s.position != q.position) continue;
        q.first_text = s.first_text;
        q.first_line = s.first_line;
      }
    }
  }
  return t;
}

void for_each_record(std::string_view text, char separator,
                     const std::function<void(std::int64_t line,
                                              const std::vector<std::string_view>& fields)>& take) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  RecordSplitter splitter(text, separator);
  std::vector<std::string_view> fields;
  for (Record r; splitter.next(r);) {
    fields.clear();
    for (const Field& f : r.fields) fields.push_back(f.text);
    take(r.line, fields);
  }
}

}  // namespace orthaxis::input
