// Target attributes for the vector versions of the byte kernels. Each
// version is compiled for its instruction set inside an ordinary translation
// unit and only called after simd::active_level() has said it may run.
#pragma once

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
