#pragma once
// Hot loops are compiled twice on x86-64, for AVX2 and for the baseline, and
// the processor picks at run time. Both clones perform the same
// single-precision operations in the same order (no contraction into fused
// multiply-adds), so the results do not depend on the processor.

#if defined(__x86_64__) && defined(__GNUC__)
#define ORTHAXIS_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ORTHAXIS_VECTOR_CLONES
#endif
