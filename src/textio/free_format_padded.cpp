// The free-format reader of records held in memory with padding after them
// (read_plain_reals_padded): fields are found 64 bytes at a time from the
// blanks, and short unsigned or negative decimals are converted four at a
// time, with AVX2 where the processor has it. Any record it does not take
// whole goes to read_plain_reals, which gives the same values.

#include <algorithm>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textio/decimal_words.h"
#include "textio/free_format.h"
#include "textio/processor.h"

#if defined(ORTHAXIS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace orthaxis::textio {

using namespace decimal_words;

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

}  // namespace orthaxis::textio
