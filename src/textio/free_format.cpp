// The free-format reads of a record file (statements read field by field,
// and read_plain_reals for one record in hand), the parsing of a numeric
// field, and the free-format write of a record. The reader of padded records
// that converts many short decimals at a time is in free_format_padded.cpp.
#include "textio/free_format.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "textio/decimal_words.h"
#include "textio/io_error.h"

namespace orthaxis::textio {

using namespace decimal_words;

namespace {

// Slow path of parse_real: the text is known to be well formed.
bool convert_real(std::string_view text, float& value, bool& overflow) {
  char buf[128];
  std::string copy;
  char* p = buf;
  if (text.size() >= sizeof buf) {
    copy.resize(text.size() + 1);
    p = copy.data();
  }
  std::size_t n = 0;
  for (char c : text) {
    if (c == 'D' || c == 'd') c = 'E';
    if (c == '+' && n == 0) continue;
    p[n++] = c;
  }
  p[n] = '\0';
  float v = 0.0f;
  auto res = std::from_chars(p, p + n, v, std::chars_format::general);
  if (res.ec == std::errc() && res.ptr == p + n) {
    value = v;
    return true;
  }
  if (res.ptr != p + n && res.ec != std::errc::result_out_of_range) return false;
  // Out of range: overflow is an error, underflow rounds to a subnormal or 0.
  errno = 0;
  char* end = nullptr;
  float w = std::strtof(p, &end);
  if (end != p + n) return false;
  if (std::isinf(w)) {
    overflow = true;
    return false;
  }
  value = w;
  return true;
}

// The common short real read straight from the record, without first cutting
// out its field: optional sign, at most 19 digits with or without a point, an
// optional short exponent, and then a separator or the record end. When the
// digits fit in 2^24 and the power of ten is exact, one float operation gives
// the correctly rounded value, the same as parse_real. The scanners return the
// end of the field, or nullptr when the field needs the general path (repeat
// counts, errors, long or large values).

// Exponent, the end of the field and the conversion.
inline const char* finish_short_real(const char* q, const char* end, bool negative,
                                     std::uint64_t mantissa, std::ptrdiff_t digits,
                                     std::ptrdiff_t fraction, float& value) {
  if (digits == 0 || digits > 19) return nullptr;
  int exponent = 0;
  if (q < end && (*q == 'E' || *q == 'e' || *q == 'D' || *q == 'd')) {
    ++q;
    bool eneg = false;
    if (q < end && (*q == '+' || *q == '-')) eneg = *q++ == '-';
    const char* e = q;
    while (q < end && is_digit(*q) && q - e < 3) exponent = exponent * 10 + (*q++ - '0');
    if (q == e) return nullptr;
    if (eneg) exponent = -exponent;
  }
  if (q < end && !is_separator(*q)) return nullptr;
  int scale = exponent - static_cast<int>(fraction);
  if (mantissa > (std::uint64_t{1} << 24) || scale < -10 || scale > 10) return nullptr;
  float m = static_cast<float>(mantissa);
  float v = scale >= 0 ? m * kExactPow10[scale] : m / kExactPow10[-scale];
  value = negative ? -v : v;
  return q;
}

// One character at a time.
inline const char* scan_short_real_bytes(const char* p, const char* end, float& value) {
  const char* q = p;
  bool negative = false;
  if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
  std::uint64_t mantissa = 0;
  const char* first = q;
  while (q < end && is_digit(*q)) mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
  std::ptrdiff_t digits = q - first;
  std::ptrdiff_t fraction = 0;
  if (q < end && *q == '.') {
    const char* f = ++q;
    while (q < end && is_digit(*q)) mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
    fraction = q - f;
    digits += fraction;
  }
  return finish_short_real(q, end, negative, mantissa, digits, fraction, value);
}

constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Digit runs of up to seven characters without a branch per digit, when the
// record holds eight characters at each run's start; otherwise byte by byte.
inline const char* scan_short_real(const char* p, const char* end, float& value) {
  const char* q = p;
  bool negative = false;
  if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
  if (end - q < 8) return scan_short_real_bytes(p, end, value);
  std::uint64_t w = load8(q);
  std::uint64_t marks = non_digit_bytes(w);
  if (marks == 0) return scan_short_real_bytes(p, end, value);
  int n = std::countr_zero(marks) / 8;
  std::uint64_t mantissa = n > 0 ? leading_digits_value(w, n) : 0;
  std::ptrdiff_t digits = n;
  std::ptrdiff_t fraction = 0;
  q += n;
  if (*q == '.') {
    ++q;
    if (end - q < 8) return scan_short_real_bytes(p, end, value);
    w = load8(q);
    marks = non_digit_bytes(w);
    if (marks == 0) return scan_short_real_bytes(p, end, value);
    n = std::countr_zero(marks) / 8;
    if (n > 0) mantissa = mantissa * kPow10Int[n] + leading_digits_value(w, n);
    fraction = n;
    digits += n;
    q += n;
  }
  return finish_short_real(q, end, negative, mantissa, digits, fraction, value);
}

}  // namespace

bool parse_int(std::string_view text, std::int32_t& value, bool& overflow) {
  overflow = false;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return false;
    if (!overflow) {
      v = v * 10 + (text[i] - '0');
      if (v > std::int64_t{1} << 31) overflow = true;
    }
  }
  if (negative) v = -v;
  if (overflow || v > std::numeric_limits<std::int32_t>::max() ||
      v < std::numeric_limits<std::int32_t>::min()) {
    overflow = true;
    return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

bool parse_real(std::string_view text, float& value, bool& overflow) {
  overflow = false;
  std::size_t i = 0, n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint64_t mantissa = 0;
  int digits = 0;       // significant digits gathered into the mantissa
  int dropped = 0;      // integer digits beyond what the mantissa holds
  int fraction = 0;     // fraction digits gathered into the mantissa
  bool any_digit = false;
  bool exact = true;    // the mantissa holds every digit
  for (; i < n && is_digit(text[i]); ++i) {
    any_digit = true;
    if (digits < 19) {
      mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
      if (mantissa != 0) ++digits;
    } else {
      ++dropped;
      if (text[i] != '0') exact = false;
    }
  }
  if (i < n && text[i] == '.') {
    for (++i; i < n && is_digit(text[i]); ++i) {
      any_digit = true;
      if (digits < 19) {
        mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
        if (mantissa != 0) ++digits;
        ++fraction;
      } else if (text[i] != '0') {
        exact = false;
      }
    }
  }
  if (!any_digit) return false;
  int exponent = 0;
  if (i < n) {
    char c = text[i];
    if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return false;
    ++i;
    bool eneg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
    if (i == n) return false;
    for (; i < n; ++i) {
      if (!is_digit(text[i])) return false;
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (eneg) exponent = -exponent;
  }
  int scale = exponent - fraction + dropped;
  // Both the digits and the power of ten are exact floats: one rounding.
  if (exact && mantissa <= (std::uint64_t{1} << 24) && scale >= -10 && scale <= 10) {
    float m = static_cast<float>(mantissa);
    float v = scale >= 0 ? m * kExactPow10[scale] : m / kExactPow10[-scale];
    value = negative ? -v : v;
    return true;
  }
  return convert_real(text, value, overflow);
}

namespace {

// One list-directed read statement.
class Statement {
 public:
  explicit Statement(RecordFile& file) : file_(file) {}

  enum class Next { kValue, kNull, kEnd };

  // Finds the next item's field and converts it with `parse`, which returns
  // nullptr or the reason why the text is not a value of type T.
  template <typename T, typename Parse>
  Next next(T& value, Parse parse) {
    if (repeat_left_ > 0) {
      --repeat_left_;
      if (repeat_null_) return Next::kNull;
      value = static_cast<T>(repeat_value_);
      return Next::kValue;
    }
    if (ended_) return Next::kEnd;
    if (!started_) {
      load();
      started_ = true;
    }
    for (;;) {
      while (pos_ < rec_.size() && is_blank(rec_[pos_])) ++pos_;
      if (pos_ >= rec_.size()) {
        load();
        continue;
      }
      char c = rec_[pos_];
      if (c == ',') {
        ++pos_;
        if (after_comma_) return Next::kNull;
        after_comma_ = true;
        continue;
      }
      if (c == '/') {
        ended_ = true;
        return Next::kEnd;
      }
      if constexpr (std::is_same_v<T, float>) {
        const char* begin = rec_.data() + pos_;
        if (const char* stop = scan_short_real(begin, rec_.data() + rec_.size(), value)) {
          pos_ += static_cast<std::size_t>(stop - begin);
          after_comma_ = false;
          return Next::kValue;
        }
      }
      std::size_t start = pos_;
      while (pos_ < rec_.size() && !is_separator(rec_[pos_])) ++pos_;
      std::string_view token = rec_.substr(start, pos_ - start);
      after_comma_ = false;
      std::size_t star = token.find('*');
      if (star != std::string_view::npos) {
        std::int32_t r = 0;
        bool ovf = false;
        std::string_view count = token.substr(0, star);
        bool all_digits = !count.empty();
        for (char d : count) all_digits = all_digits && is_digit(d);
        if (!all_digits || !parse_int(count, r, ovf) || r < 1) fail(kIllegalRepeat, start, token);
        std::string_view rest = token.substr(star + 1);
        if (rest.empty()) {
          repeat_null_ = true;
          repeat_left_ = r - 1;
          return Next::kNull;
        }
        T v{};
        if (const char* why = parse(rest, v)) fail(why, start, token);
        repeat_null_ = false;
        repeat_value_ = static_cast<double>(v);
        repeat_left_ = r - 1;
        value = v;
        return Next::kValue;
      }
      if (const char* why = parse(token, value)) fail(why, start, token);
      return Next::kValue;
    }
  }

  // What the statement left unread on its last record.
  std::string_view rest() const {
    if (!started_ || ended_) return {};
    return rec_.substr(pos_);
  }

 private:
  // The field's place on its line is counted only here, when the read fails.
  [[noreturn]] void fail(const char* reason, std::size_t start, std::string_view token) const {
    IoError e(reason, "READ", file_.unit(), file_.path(), file_.line());
    e.locate(count_fields(rec_.substr(0, start)) + 1, std::string(token));
    throw e;
  }

  void load() {
    if (!file_.next_record(rec_)) {
      throw IoError(kPastEnd, "READ", file_.unit(), file_.path(), file_.line() + 1);
    }
    pos_ = 0;
  }

  RecordFile& file_;
  std::string_view rec_;
  std::size_t pos_ = 0;
  bool started_ = false;
  bool after_comma_ = true;  // a leading comma stands for a null value
  bool ended_ = false;
  std::int64_t repeat_left_ = 0;
  bool repeat_null_ = false;
  double repeat_value_ = 0.0;  // holds any int32 or float exactly
};

}  // namespace

std::string_view read_ints(RecordFile& file, std::span<std::int32_t> items) {
  Statement st(file);
  auto parse = [](std::string_view token, std::int32_t& v) -> const char* {
    bool overflow = false;
    if (parse_int(token, v, overflow)) return nullptr;
    return overflow ? kIntegerOverflow : kIllegalChar;
  };
  for (auto& item : items) {
    std::int32_t v = item;
    auto r = st.next(v, parse);
    if (r == Statement::Next::kEnd) break;
    if (r == Statement::Next::kValue) item = v;
  }
  return st.rest();
}

std::string_view read_reals(RecordFile& file, std::span<float> items) {
  Statement st(file);
  auto parse = [](std::string_view token, float& v) -> const char* {
    bool overflow = false;
    if (parse_real(token, v, overflow)) return nullptr;
    return overflow ? kRealOverflow : kIllegalChar;
  };
  for (auto& item : items) {
    float v = item;
    auto r = st.next(v, parse);
    if (r == Statement::Next::kEnd) break;
    if (r == Statement::Next::kValue) item = v;
  }
  return st.rest();
}

bool read_plain_reals(std::string_view record, std::span<float> items, std::string_view* rest) {
  const char* p = record.data();
  const char* const end = p + record.size();
  bool after_comma = true;  // as in a statement: a leading comma is a null value
  for (float& item : items) {
    for (;;) {
      while (p < end && is_blank(*p)) ++p;
      if (p == end || *p == '/') return false;
      if (*p != ',') break;
      if (after_comma) return false;
      after_comma = true;
      ++p;
    }
    float v = 0.0f;
    if (const char* stop = scan_short_real(p, end, v)) {
      p = stop;
    } else {
      const char* q = p;
      while (q < end && !is_separator(*q)) ++q;
      const std::string_view token(p, static_cast<std::size_t>(q - p));
      bool overflow = false;
      if (token.find('*') != std::string_view::npos || !parse_real(token, v, overflow)) return false;
      p = q;
    }
    after_comma = false;
    item = v;
  }
  if (rest != nullptr) *rest = std::string_view(p, static_cast<std::size_t>(end - p));
  return true;
}

std::int64_t count_fields(std::string_view text) {
  std::int64_t fields = 0;
  bool in_field = false;
  for (char c : text) {
    const bool separator = c == ' ' || c == '\t' || c == ',';
    if (!separator && !in_field) ++fields;
    in_field = !separator;
  }
  return fields;
}

std::string read_text(RecordFile& file, std::size_t length, bool* cut) {
  std::string_view rec;
  if (!file.next_record(rec)) {
    throw IoError(kPastEnd, "READ", file.unit(), file.path(), file.line() + 1);
  }
  if (cut != nullptr) *cut = trim_right(rec).size() > length;
  return fixed_text(rec, length);
}

std::string fixed_text(std::string_view text, std::size_t length) {
  std::string s(text.substr(0, length));
  s.resize(length, ' ');
  return s;
}

std::string_view trim_right(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

namespace {
void append_real(std::string& out, float v) {
  if (std::isnan(v)) {
    out += "NaN";
  } else if (std::isinf(v)) {
    out += v > 0 ? "Infinity" : "-Infinity";
  } else {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
  }
}
}  // namespace

std::string free_format_record(std::span<const Value> values) {
  std::string out = " ";
  bool first = true;
  bool last_numeric = false;
  ItemCursor cursor(values);
  while (!cursor.done()) {
    Item item = cursor.next();
    if (item.kind == Item::Kind::kText) {
      if (last_numeric) out += ' ';
      out += item.text;
      last_numeric = false;
    } else {
      if (!first) out += ' ';
      if (item.kind == Item::Kind::kInt) {
        out += std::to_string(item.i);
      } else {
        append_real(out, item.f);
      }
      last_numeric = true;
    }
    first = false;
  }
  // An empty list writes an empty record.
  if (values.empty() || first) return std::string();
  return out;
}

}  // namespace orthaxis::textio
