#pragma once

#include <vector>

// The instruction-set paths of the kernel's bulk routines. Each bulk routine
// has a plain scalar form, which runs everywhere, and wide forms compiled for
// AVX2 and AVX-512 beside it; one binary picks the widest one the processor
// runs at the moment of the call. Every path gives the same bits: the wide
// forms do the same integer and IEEE double operations lane by lane, in the
// same order, and the build forbids fused multiply-add.
enum class SimdPath { scalar, avx2, avx512 };

// Whether this processor (and its operating system) runs `path`.
bool simd_path_supported(SimdPath path);

// The widest supported path.
SimdPath best_simd_path();

// Every supported path, narrowest first: what the tests hold against each
// other.
std::vector<SimdPath> supported_simd_paths();

const char* simd_path_name(SimdPath path);

// Target attributes of the wide forms. AVX-512 code uses the foundation,
// double/quad-word, byte/word and vector-length extensions.
#define SUITE_TARGET_AVX2 __attribute__((target("avx2")))
#define SUITE_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl")))

// GCC 12 reports the deliberately undefined pass-through operand inside some
// AVX-512 intrinsics as "maybe uninitialised"; the wide kernels are wrapped in
// these to silence that false report.
#if defined(__GNUC__) && !defined(__clang__)
#define SUITE_WIDE_KERNELS_BEGIN \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define SUITE_WIDE_KERNELS_END _Pragma("GCC diagnostic pop")
#else
#define SUITE_WIDE_KERNELS_BEGIN
#define SUITE_WIDE_KERNELS_END
#endif
