#include "frame/simd_level.hpp"

#include <atomic>

namespace tf::simd {
namespace {

Level detect() noexcept {
#if defined(__x86_64__)
  __builtin_cpu_init();
  // libgcc checks that the OS saves the wider registers before it reports
  // the AVX features.
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                    __builtin_cpu_supports("popcnt");
  if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    return Level::kAvx512bw;
  }
  if (avx2) return Level::kAvx2;
  return Level::kSse2;
#else
  return Level::kScalar;
#endif
}

// -1 until first use; afterwards the level in force.
std::atomic<int> g_active{-1};

}  // namespace

Level detected_level() noexcept {
  static const Level level = detect();
  return level;
}

Level active_level() noexcept {
  const int level = g_active.load(std::memory_order_relaxed);
  if (level >= 0) return static_cast<Level>(level);
  const Level detected = detected_level();
  g_active.store(static_cast<int>(detected), std::memory_order_relaxed);
  return detected;
}

Level force_level(Level level) noexcept {
  const Level detected = detected_level();
  const Level chosen = static_cast<int>(level) < static_cast<int>(detected) ? level : detected;
  g_active.store(static_cast<int>(chosen), std::memory_order_relaxed);
  return chosen;
}

void reset_level() noexcept {
  g_active.store(static_cast<int>(detected_level()), std::memory_order_relaxed);
}

const char* level_name(Level level) noexcept {
  switch (level) {
    case Level::kScalar:
      return "scalar";
    case Level::kSse2:
      return "sse2";
    case Level::kAvx2:
      return "avx2";
    case Level::kAvx512bw:
      return "avx512bw";
  }
  return "?";
}

}  // namespace tf::simd
