#pragma once
// What the processor can do, asked once: kernels written for AVX2 (and
// AVX-512) are chosen at run time on x86-64, and every kernel gives the same
// bits.

namespace orthaxis::textio {

// Set where kernels written for AVX2 are compiled, beside the portable ones,
// and have_avx2() tells which of them to run.
#if defined(__x86_64__) && defined(__GNUC__)
#define ORTHAXIS_AVX2_KERNELS 1
#endif

#if defined(ORTHAXIS_AVX2_KERNELS)
inline bool have_avx2() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}

inline bool have_avx512() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0;
  }();
  return have;
}
#endif

}  // namespace orthaxis::textio
