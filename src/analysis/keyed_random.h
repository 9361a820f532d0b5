#pragma once
// Random numbers for the axes test that depend on nothing but their key:
// every stream is named by (seed, replicate, column) and its i-th output is
// a fixed function of the key and i, so a replicate gives the same table on
// any thread, in any order, on any machine.
//
//   mix(z):  z ^= z >> 30; z *= 0xBF58476D1CE4E5B9;
//            z ^= z >> 27; z *= 0x94D049BB133111EB; z ^= z >> 31   (mod 2^64)
//   key(seed, r, c) = seed XOR mix(r * 2^32 + c)
//   output i (i = 0, 1, ...) = mix(key + (i + 1) * 0x9E3779B97F4A7C15)
//
// The outputs of one key are thus the 64-bit generator that adds the golden
// gamma to a state started at the key and mixes each state.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace orthaxis::analysis {

inline constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;

constexpr std::uint64_t mix64(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr std::uint64_t stream_key(std::uint64_t seed, std::uint32_t replicate,
                                   std::uint32_t column) {
  return seed ^ mix64((std::uint64_t{replicate} << 32) | column);
}

class KeyedStream {
 public:
  constexpr explicit KeyedStream(std::uint64_t key) : state_(key) {}
  constexpr KeyedStream(std::uint64_t seed, std::uint32_t replicate, std::uint32_t column)
      : state_(stream_key(seed, replicate, column)) {}

  constexpr std::uint64_t next() {
    state_ += kGoldenGamma;
    return mix64(state_);
  }

  // A whole number in [0, m), m >= 1, every one equally likely: the high
  // half of output * m, drawing again while the low half falls in the
  // 2^64 mod m values that would favour some results.
  std::uint64_t below(std::uint64_t m) {
    unsigned __int128 product = static_cast<unsigned __int128>(next()) * m;
    std::uint64_t low = static_cast<std::uint64_t>(product);
    if (low < m) {
      const std::uint64_t threshold = (0 - m) % m;
      while (low < threshold) {
        product = static_cast<unsigned __int128>(next()) * m;
        low = static_cast<std::uint64_t>(product);
      }
    }
    return static_cast<std::uint64_t>(product >> 64);
  }

  // A number in [0, 1): the top 53 bits of an output times 2^-53.
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

 private:
  std::uint64_t state_;
};

// Shuffles `values` in place: for i = size - 1 down to 1, swap element i
// with element below(i + 1).
template <class T>
void shuffle(std::span<T> values, KeyedStream& stream) {
  for (std::size_t i = values.size(); i-- > 1;) {
    const std::size_t j = static_cast<std::size_t>(stream.below(i + 1));
    std::swap(values[i], values[j]);
  }
}

}  // namespace orthaxis::analysis
