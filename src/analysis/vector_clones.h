#pragma once
// Hot loops are compiled twice on x86-64, for AVX2 and for the baseline, and
// the processor picks at run time. Both clones perform the same
// single-precision operations in the same order (no contraction into fused
// multiply-adds), so the results do not depend on the processor.

// ORTHAXIS_NO_VECTOR_CLONES builds the baseline only: ThreadSanitizer cannot
// run the resolvers that pick a clone while the program is being loaded.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(ORTHAXIS_NO_VECTOR_CLONES)
#define ORTHAXIS_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ORTHAXIS_VECTOR_CLONES
#endif
