#pragma once
// The pieces shared by the free-format readers (free_format.cpp, which reads
// statements field by field, and free_format_padded.cpp, which splits and
// converts many short decimals of a record at a time): the classes of
// characters in a record, the powers of ten a float holds exactly, and
// decimal digits read eight at a time as one word. Internal to textio.

#include <bit>
#include <cstdint>
#include <cstring>

namespace orthaxis::textio::decimal_words {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Powers of ten that single precision holds exactly.
inline constexpr float kExactPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                        1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

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

}  // namespace orthaxis::textio::decimal_words
