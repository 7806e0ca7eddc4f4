// Which vector instruction set the byte kernels use. Every kernel has a
// plain scalar version and, on x86-64, versions for SSE2 (always present
// there), AVX2 and AVX-512BW; the best one the CPU and the operating system
// support is chosen at run time. All versions give identical results.
#pragma once

namespace tf::simd {

enum class Level : int { kScalar = 0, kSse2 = 1, kAvx2 = 2, kAvx512bw = 3 };

// The best level this machine supports (detected once).
Level detected_level() noexcept;

// The level the kernels use now: the detected one unless a lower one is
// forced.
Level active_level() noexcept;

// Makes every kernel use `level`, clamped to the detected one, and returns
// the level now in force. Meant for tests that run each version in turn;
// the library itself never calls it.
Level force_level(Level level) noexcept;

// Clears a forced level.
void reset_level() noexcept;

// "scalar", "sse2", "avx2" or "avx512bw".
const char* level_name(Level level) noexcept;

}  // namespace tf::simd
