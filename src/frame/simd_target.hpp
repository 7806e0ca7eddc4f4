// Target attributes for the vector versions of the byte kernels. Each
// version is compiled for its instruction set inside an ordinary translation
// unit and only called after simd::active_level() has said it may run.
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
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#define TF_X86_KERNELS 1
#define TF_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#define TF_TARGET_AVX512 __attribute__((target("avx2,bmi,bmi2,popcnt,avx512f,avx512bw")))
#endif
