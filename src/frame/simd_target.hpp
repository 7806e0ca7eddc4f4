// Target attributes for the vector versions of the byte kernels. Each
// version is compiled for its instruction set inside an ordinary translation
// unit and only called through the kernel table of its level, which is
// chosen only when the CPU has every feature of that level.
#pragma once

#include <cstddef>

namespace tf::simd {

// How far ahead the streaming kernels ask for their input. The hardware
// prefetchers of some machines fall behind a loop that does real work per
// block; a hint this far ahead keeps such loops at memory speed. A hint past
// the end of a block is harmless: prefetching never faults.
inline constexpr std::size_t kPrefetchAhead = 2048;

inline void prefetch(const void* p) noexcept {
  __builtin_prefetch(static_cast<const char*>(p) + kPrefetchAhead, 0, 3);
}

}  // namespace tf::simd

#if defined(__x86_64__)
// g++ 12 takes the deliberately undefined first operand inside some AVX-512
// intrinsics for a read of an uninitialised variable.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

// The CPU features of each x86 level, in one list each: the level's kernels
// are compiled for exactly these (TF_TARGET_*) and its table is chosen only
// when the CPU reports every one of them (simd_level.cpp), so the two can
// never disagree. The compilers emit BMI1 instructions (andn, blsr) for the
// mask arithmetic, hence bmi beside bmi2.
#define TF_FEATURES_AVX2(X) X(avx2) X(bmi) X(bmi2) X(popcnt)
#define TF_FEATURES_AVX512(X) TF_FEATURES_AVX2(X) X(avx512f) X(avx512bw)
// Byte permutes across the whole register (VBMI), byte compress and expand
// (VBMI2) and the 128- and 256-bit forms of both (VL).
#define TF_FEATURES_AVX512VBMI2(X) TF_FEATURES_AVX512(X) X(avx512vl) X(avx512vbmi) X(avx512vbmi2)

#define TF_FEATURE_COMMA_NAME(f) "," #f
#define TF_TARGET_STRING(list) "sse2" list(TF_FEATURE_COMMA_NAME)

#define TF_X86_KERNELS 1
#define TF_TARGET_AVX2 __attribute__((target(TF_TARGET_STRING(TF_FEATURES_AVX2))))
#define TF_TARGET_AVX512 __attribute__((target(TF_TARGET_STRING(TF_FEATURES_AVX512))))
#define TF_TARGET_AVX512VBMI2 __attribute__((target(TF_TARGET_STRING(TF_FEATURES_AVX512VBMI2))))
#endif

#if defined(__aarch64__)
#include <arm_neon.h>
#define TF_NEON_KERNELS 1
#endif

// WebAssembly's 128-bit SIMD: a module compiled with it (-msimd128) only
// loads where the engine runs it (Node 16.4 and later), so the level is
// there whenever the code is.
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define TF_WASM_KERNELS 1
#endif
