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

  // 32-bit words: output i gives word 2i (its low half), then word 2i + 1
  // (its high half).
  constexpr std::uint32_t word() {
    if (half_) {
      half_ = false;
      return static_cast<std::uint32_t>(held_ >> 32);
    }
    held_ = next();
    half_ = true;
    return static_cast<std::uint32_t>(held_);
  }

  // A whole number in [0, m), 1 <= m <= 2^32, every one equally likely: the
  // high half of word * m, drawing the next word while the low half falls
  // below 2^32 mod m (the values that would favour some results).
  std::uint32_t below(std::uint64_t m) {
    std::uint64_t product = std::uint64_t{word()} * m;
    std::uint32_t low = static_cast<std::uint32_t>(product);
    if (low < m) {
      const std::uint32_t threshold = static_cast<std::uint32_t>((std::uint64_t{1} << 32) % m);
      while (low < threshold) {
        product = std::uint64_t{word()} * m;
        low = static_cast<std::uint32_t>(product);
      }
    }
    return static_cast<std::uint32_t>(product >> 32);
  }

  // A number in [0, 1): the top 53 bits of an output times 2^-53 (whole
  // outputs, whatever words were taken).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

 private:
  std::uint64_t state_;
  std::uint64_t held_ = 0;
  bool half_ = false;
};

// `out` becomes `in` shuffled (both n < 2^32 long), built from the front:
// for i = 0 .. n - 1, j = below(i + 1), out[i] = out[j], out[j] = in[i].
template <class T>
void shuffled_copy(std::span<const T> in, std::span<T> out, KeyedStream& stream) {
  for (std::size_t i = 0; i < in.size(); ++i) {
    const std::size_t j = stream.below(i + 1);
    out[i] = out[j];
    out[j] = in[i];
  }
}

}  // namespace orthaxis::analysis
