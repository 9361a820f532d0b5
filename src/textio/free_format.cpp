#include "textio/free_format.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textio/io_error.h"
#include "textio/processor.h"

#if defined(ORTHAXIS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace orthaxis::textio {

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Powers of ten that single precision holds exactly.
constexpr float kExactPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

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

// Eight characters as one little-endian word: the bytes that are not decimal
// digits are marked by their high bit.
inline std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w;
}
inline std::uint64_t non_digit_bytes(std::uint64_t w) {
  std::uint64_t x = w ^ 0x3030303030303030u;  // digits become 0..9
  return (((x & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
}
// The number written by the first n (1..8) characters of a word of digits.
inline std::uint64_t leading_digits_value(std::uint64_t w, int n) {
  std::uint64_t x = (w ^ 0x3030303030303030u) << (8 * (8 - n));  // leading zeros in front
  x = x * 10 + (x >> 8);                                           // pairs of digits
  x = (((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
  return x;
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

namespace {

// Blanks among the 64 bytes at p: bit k for byte p[k].
inline std::uint64_t blank_bits(const char* p) {
  std::uint64_t bits = 0;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab));
    bits |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(blank))} << (16 * k);
  }
#else
  for (int k = 0; k < 64; ++k) bits |= std::uint64_t{is_blank(p[k])} << k;
#endif
  return bits;
}

// A field of one to eight bytes, all decimal digits but for at most one
// point and a leading minus, with at least one digit and a value of at most
// 2^24 written in at most seven fraction digits: its digits as an integer
// and the power of ten it is divided by, negative after a minus (the
// quotient is then the negated one, -0 included). The field's bytes are
// taken as one word, a minus read as a leading zero, the point removed, and
// the digits converted together. False for any other field.
inline bool split_short_decimal(const char* field, std::size_t length, std::int32_t& digits,
                                float& divisor) {
  if (length - 1 > 7) return false;
  const bool minus = field[0] == '-';
  if (minus && (length == 1 || (length == 2 && field[1] == '.'))) return false;
  // The first byte is the word's lowest: '-' + 3 is '0'.
  const std::uint64_t w = load8(field) + (minus ? 3 : 0);
  const std::uint64_t inside = length == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
  const std::uint64_t marks = non_digit_bytes(w) & inside;
  std::uint64_t word = w;
  int count = static_cast<int>(length);
  int fraction = 0;
  if (marks != 0) {
    const int point = std::countr_zero(marks) / 8;
    if ((marks & (marks - 1)) != 0 || field[point] != '.' || length == 1) return false;
    const std::uint64_t before = (std::uint64_t{1} << (8 * point)) - 1;
    word = (w & before) | ((w >> 8) & ~before);
    count = static_cast<int>(length) - 1;
    fraction = count - point;
  }
  const std::uint64_t value = leading_digits_value(word, count);
  if (value > (std::uint64_t{1} << 24)) return false;
  digits = static_cast<std::int32_t>(value);
  divisor = minus ? -kExactPow10[fraction] : kExactPow10[fraction];
  return true;
}

// Four short decimals, the fields text[starts[k], ends[k]), into out[0..3];
// false when any of them is not one. One rounding each, as m / 10^f in
// finish_short_real (10^0 divides exactly).
bool short_decimals_4(const char* text, const std::uint32_t* starts, const std::uint32_t* ends,
                      float* out) {
  std::int32_t digits[4];
  float divisors[4];
  bool all = true;
  for (std::size_t k = 0; k < 4; ++k)
    all &= split_short_decimal(text + starts[k], ends[k] - starts[k], digits[k], divisors[k]);
  if (!all) return false;
  for (std::size_t k = 0; k < 4; ++k) out[k] = static_cast<float>(digits[k]) / divisors[k];
  return true;
}

#if defined(ORTHAXIS_AVX2_KERNELS)
// short_decimals_4 with the four fields in the lanes of one register: the
// same checks, and the same integer and the same division for each field.
inline __attribute__((target("avx2"))) bool short_decimals_4_avx2(const char* text,
                                                            const std::uint32_t* starts,
                                                            const std::uint32_t* ends,
                                                            float* out) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(starts));
  const __m128i length = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ends)), first);
  // One to eight bytes each.
  if (!_mm_testz_si128(_mm_sub_epi32(length, _mm_set1_epi32(1)), _mm_set1_epi32(~7))) return false;
  // Each field moved to the top of its lane (its last byte in byte 7); the
  // bytes below it become zero.
  const __m256i shift = _mm256_cvtepu32_epi64(_mm_sub_epi32(_mm_set1_epi32(64), _mm_slli_epi32(length, 3)));
  const __m256i word = _mm256_set_epi64x(
      static_cast<long long>(load8(text + starts[3])), static_cast<long long>(load8(text + starts[2])),
      static_cast<long long>(load8(text + starts[1])), static_cast<long long>(load8(text + starts[0])));
  const __m256i shifted = _mm256_sllv_epi64(word, shift);
  const __m256i inside = _mm256_sllv_epi64(_mm256_set1_epi64x(-1), shift);
  // A minus in the field's first byte is read as a leading zero ('-' + 3).
  const __m256i first_byte = _mm256_andnot_si256(_mm256_slli_epi64(inside, 8), inside);
  const __m256i minus = _mm256_and_si256(_mm256_cmpeq_epi8(shifted, _mm256_set1_epi8('-')), first_byte);
  const __m256i r = _mm256_add_epi8(shifted, _mm256_and_si256(minus, _mm256_set1_epi8(3)));
  const __m256i zero_char = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
  const __m256i d = _mm256_sub_epi8(r, zero_char);
  const __m256i digit = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d), inside);
  const __m256i point = _mm256_cmpeq_epi8(r, _mm256_set1_epi8('.'));  // only inside: '.' is not zero
  // Marks: a byte that is neither digit nor point, a second point, no digit
  // (the minus is none).
  const __m256i other = _mm256_andnot_si256(_mm256_or_si256(digit, point), inside);
  const __m256i point_bit = _mm256_and_si256(point, _mm256_set1_epi8(1));
  const __m256i second = _mm256_and_si256(point_bit, _mm256_sub_epi64(point_bit, _mm256_set1_epi64x(1)));
  const __m256i no_digit = _mm256_cmpeq_epi64(_mm256_andnot_si256(minus, digit), _mm256_setzero_si256());
  // The point taken out: the bytes in front of it move up by one.
  const __m256i no_point = _mm256_cmpeq_epi64(point_bit, _mm256_setzero_si256());
  const __m256i before = _mm256_andnot_si256(no_point, _mm256_sub_epi64(point_bit, _mm256_set1_epi64x(1)));
  const __m256i after = _mm256_andnot_si256(_mm256_or_si256(before, point), _mm256_set1_epi64x(-1));
  const __m256i joined = _mm256_or_si256(_mm256_and_si256(r, after),
                                         _mm256_slli_epi64(_mm256_and_si256(r, before), 8));
  __m256i v = _mm256_sub_epi8(joined, zero_char);
  v = _mm256_and_si256(v, _mm256_cmpeq_epi8(_mm256_min_epu8(v, nine), v));
  // Eight digits to an integer: pairs, then fours, then the whole.
  v = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x010A));
  v = _mm256_madd_epi16(v, _mm256_set1_epi32(0x00010064));
  v = _mm256_add_epi64(_mm256_mul_epu32(v, _mm256_set1_epi64x(10000)), _mm256_srli_epi64(v, 32));
  const __m256i too_large = _mm256_cmpgt_epi64(v, _mm256_set1_epi64x(std::int64_t{1} << 24));
  const __m256i wrong = _mm256_or_si256(_mm256_or_si256(other, second), _mm256_or_si256(no_digit, too_large));
  if (!_mm256_testz_si256(wrong, wrong)) return false;
  // The fraction digits: the bytes after the point (none without one),
  // counted in each lane and used as the index of the power of ten.
  const __m256i above_point = _mm256_andnot_si256(_mm256_or_si256(no_point, before),
                                                  _mm256_andnot_si256(point, inside));
  const __m256i fraction = _mm256_sad_epu8(_mm256_and_si256(above_point, _mm256_set1_epi8(1)),
                                           _mm256_setzero_si256());
  // The low half of each lane, four lanes in a row.
  const __m256i lanes = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  const __m128 power = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(
      _mm256_loadu_ps(kExactPow10), _mm256_permutevar8x32_epi32(fraction, lanes)));
  // After a minus the divisor is negative, and so is the quotient, -0 included.
  const __m256i sign = _mm256_andnot_si256(_mm256_cmpeq_epi64(minus, _mm256_setzero_si256()),
                                           _mm256_set1_epi64x(std::int64_t{1} << 31));
  const __m128 divisor = _mm_xor_ps(
      power, _mm_castsi128_ps(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(sign, lanes))));
  const __m128i m = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, lanes));
  _mm_storeu_ps(out, _mm_div_ps(_mm_cvtepi32_ps(m), divisor));
  return true;
}

#endif

// read_plain_reals_padded when every field up to the last item is a short
// decimal; false otherwise (the items are then undefined).
template <bool (*convert4)(const char*, const std::uint32_t*, const std::uint32_t*, float*)>
[[gnu::always_inline]] inline bool read_short_decimals(std::string_view record, std::span<float> items, std::string_view* rest) {
  const char* const text = record.data();
  const std::size_t length = record.size();
  const std::size_t count = items.size();
  // Fields are found 64 bytes at a time from the blanks: a field starts at
  // a byte that is not a blank after a blank (or the record start) and ends
  // at the next blank; bytes past the record end count as blanks. Fields
  // found whole wait until there are four to convert together.
  constexpr std::size_t kMost = 64;  // fields that can start or end in 64 bytes
  std::uint32_t starts[kMost + 4], ends[kMost + 4];
  std::size_t open = 0;     // 1 while a field runs on past the bytes seen
  std::size_t waiting = 0;  // whole fields not yet converted
  std::size_t found = 0, done = 0;
  std::uint64_t after_blank = 1;
  for (std::size_t base = 0; base <= length; base += 64) {
    std::uint64_t blank = blank_bits(text + base);
    if (length - base < 64) blank |= ~std::uint64_t{0} << (length - base);
    const std::uint64_t before = (blank << 1) | after_blank;
    after_blank = blank >> 63;
    // starts[waiting] is the start of an open field, if any.
    std::size_t started = waiting + open, ended = waiting;
    for (std::uint64_t s = ~blank & before; s != 0; s &= s - 1)
      starts[started++] = static_cast<std::uint32_t>(base + std::countr_zero(s));
    for (std::uint64_t e = blank & ~before; e != 0; e &= e - 1)
      ends[ended++] = static_cast<std::uint32_t>(base + std::countr_zero(e));
    const std::size_t whole = std::min(ended, waiting + (count - found));
    found += whole - waiting;
    std::size_t k = 0;
    for (; k + 4 <= whole; k += 4, done += 4)
      if (!convert4(text, starts + k, ends + k, items.data() + done)) return false;
    if (found == count) {
      const std::size_t left = whole - k;
      if (left > 0) {
        // The last fields padded with copies of the last one.
        for (std::size_t j = whole; j < k + 4; ++j) {
          starts[j] = starts[whole - 1];
          ends[j] = ends[whole - 1];
        }
        float last[4];
        if (!convert4(text, starts + k, ends + k, last)) return false;
        std::copy(last, last + left, items.data() + done);
      }
      if (rest != nullptr) *rest = record.substr(count == 0 ? 0 : ends[whole - 1]);
      return true;
    }
    // Fields still waiting, and the open one, move to the front.
    open = started - ended;
    waiting = whole - k;
    for (std::size_t j = 0; j < waiting; ++j) ends[j] = ends[k + j];
    for (std::size_t j = 0; j < waiting + open; ++j) starts[j] = starts[k + j];
  }
  return false;
}

bool read_short_decimals_portable(std::string_view record, std::span<float> items,
                                  std::string_view* rest) {
  return read_short_decimals<short_decimals_4>(record, items, rest);
}

#if defined(ORTHAXIS_AVX2_KERNELS)
__attribute__((target("avx2"))) bool read_short_decimals_avx2(std::string_view record,
                                                               std::span<float> items,
                                                               std::string_view* rest) {
  return read_short_decimals<short_decimals_4_avx2>(record, items, rest);
}
#endif

}  // namespace

bool read_plain_reals_padded(std::string_view record, std::span<float> items,
                             std::string_view* rest) {
  if (!items.empty()) {
#if defined(ORTHAXIS_AVX2_KERNELS)
    if (have_avx2() ? read_short_decimals_avx2(record, items, rest)
                    : read_short_decimals_portable(record, items, rest))
      return true;
#else
    if (read_short_decimals_portable(record, items, rest)) return true;
#endif
  }
  return read_plain_reals(record, items, rest);
}

bool read_plain_reals_padded_portable(std::string_view record, std::span<float> items,
                                      std::string_view* rest) {
  if (!items.empty() && read_short_decimals_portable(record, items, rest)) return true;
  return read_plain_reals(record, items, rest);
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
