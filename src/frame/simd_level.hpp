// Which instruction set the byte kernels use. Every kernel has a portable
// version in plain C++ (64-bit words at a time) that any CPU runs and, on
// x86-64, versions for SSE2 (always present there), AVX2, AVX-512BW and
// AVX-512 with VBMI2 (byte compress and expand), on aarch64 one for NEON,
// in WebAssembly one for its 128-bit SIMD.
// The best level the CPU and the operating system support is chosen once,
// at the first call; all levels give identical results.
#pragma once

namespace tf::simd {

// Ordered by preference within one architecture; kNeon is aarch64's only
// vector level, kSimd128 WebAssembly's.
enum class Level : int {
  kPortable = 0,
  kSse2 = 1,
  kAvx2 = 2,
  kAvx512bw = 3,
  kAvx512vbmi2 = 4,
  kNeon = 5,
  kSimd128 = 6
};
inline constexpr int kLevelCount = 7;

// The best level this machine supports (detected once).
Level detected_level() noexcept;

// Whether the kernels of `level` are built in and this machine can run them.
bool level_available(Level level) noexcept;

// The level the kernels use now: the detected one unless another is forced.
Level active_level() noexcept;

// Makes every kernel use `level` when it is available, and returns the level
// now in force. Meant for tests and the benchmark, which run each version in
// turn; the library itself never calls it.
Level force_level(Level level) noexcept;

// Clears a forced level.
void reset_level() noexcept;

// "portable", "sse2", "avx2", "avx512bw", "avx512vbmi2", "neon" or "simd128".
const char* level_name(Level level) noexcept;

}  // namespace tf::simd
