#include "frame/simd_level.hpp"

#include <atomic>

#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"

namespace tf::simd {
namespace {

#define TF_KERNEL_ENTRY(level, result, name, params) &level::name,
#define TF_KERNEL_TABLE(level_code, level) \
  Kernels { level_code, TF_KERNEL_LIST(TF_KERNEL_ENTRY, level) }

// One table per level, indexed by Level; null where a level is not built.
constexpr Kernels kPortable = TF_KERNEL_TABLE(Level::kPortable, portable);
#if defined(TF_X86_KERNELS)
constexpr Kernels kSse2 = TF_KERNEL_TABLE(Level::kSse2, sse2);
constexpr Kernels kAvx2 = TF_KERNEL_TABLE(Level::kAvx2, avx2);
constexpr Kernels kAvx512 = TF_KERNEL_TABLE(Level::kAvx512bw, avx512);
constexpr Kernels kAvx512vbmi2 = TF_KERNEL_TABLE(Level::kAvx512vbmi2, avx512vbmi2);
constexpr const Kernels* kTables[kLevelCount] = {&kPortable,    &kSse2,  &kAvx2, &kAvx512,
                                                 &kAvx512vbmi2, nullptr, nullptr};
#elif defined(TF_NEON_KERNELS)
constexpr Kernels kNeon = TF_KERNEL_TABLE(Level::kNeon, neon);
constexpr const Kernels* kTables[kLevelCount] = {&kPortable, nullptr, nullptr, nullptr,
                                                 nullptr,    &kNeon,  nullptr};
#elif defined(TF_WASM_KERNELS)
constexpr Kernels kSimd128 = TF_KERNEL_TABLE(Level::kSimd128, simd128);
constexpr const Kernels* kTables[kLevelCount] = {&kPortable, nullptr, nullptr,  nullptr,
                                                 nullptr,    nullptr, &kSimd128};
#else
constexpr const Kernels* kTables[kLevelCount] = {&kPortable, nullptr, nullptr, nullptr,
                                                 nullptr,    nullptr, nullptr};
#endif

#define TF_CPU_HAS(f) __builtin_cpu_supports(#f)&&

// Whether the CPU runs the code of each level.
bool cpu_supports(Level level) noexcept {
  switch (level) {
    case Level::kPortable:
      return true;
#if defined(TF_X86_KERNELS)
    // libgcc checks that the OS saves the wider registers before it reports
    // the AVX features.
    case Level::kSse2:
      return true;
    case Level::kAvx2:
      __builtin_cpu_init();
      return TF_FEATURES_AVX2(TF_CPU_HAS) true;
    case Level::kAvx512bw:
      __builtin_cpu_init();
      return TF_FEATURES_AVX512(TF_CPU_HAS) true;
    case Level::kAvx512vbmi2:
      __builtin_cpu_init();
      return TF_FEATURES_AVX512VBMI2(TF_CPU_HAS) true;
#elif defined(TF_NEON_KERNELS)
    case Level::kNeon:
      return true;  // part of every aarch64 CPU
#elif defined(TF_WASM_KERNELS)
    case Level::kSimd128:
      return true;  // the module would not have loaded without it
#endif
    default:
      return false;
  }
}

Level detect() noexcept {
  Level best = Level::kPortable;
  for (int l = 0; l < kLevelCount; ++l) {
    const auto level = static_cast<Level>(l);
    if (kTables[l] != nullptr && cpu_supports(level)) best = level;
  }
  return best;
}

// Null until first use; afterwards the table in force.
std::atomic<const Kernels*> g_active{nullptr};

}  // namespace

Level detected_level() noexcept {
  static const Level level = detect();
  return level;
}

bool level_available(Level level) noexcept {
  const int l = static_cast<int>(level);
  return l >= 0 && l < kLevelCount && kTables[l] != nullptr && cpu_supports(level);
}

const Kernels& kernels() noexcept {
  const Kernels* table = g_active.load(std::memory_order_acquire);
  if (table != nullptr) return *table;
  table = kTables[static_cast<int>(detected_level())];
  g_active.store(table, std::memory_order_release);
  return *table;
}

Level active_level() noexcept { return kernels().level; }

const Kernels* table_of(Level level) noexcept {
  const int l = static_cast<int>(level);
  return l >= 0 && l < kLevelCount ? kTables[l] : nullptr;
}

Level force_level(Level level) noexcept {
  if (level_available(level)) {
    g_active.store(kTables[static_cast<int>(level)], std::memory_order_release);
  }
  return active_level();
}

void reset_level() noexcept {
  g_active.store(kTables[static_cast<int>(detected_level())], std::memory_order_release);
}

const char* level_name(Level level) noexcept {
  switch (level) {
    case Level::kPortable:
      return "portable";
    case Level::kSse2:
      return "sse2";
    case Level::kAvx2:
      return "avx2";
    case Level::kAvx512bw:
      return "avx512bw";
    case Level::kAvx512vbmi2:
      return "avx512vbmi2";
    case Level::kNeon:
      return "neon";
    case Level::kSimd128:
      return "simd128";
  }
  return "?";
}

}  // namespace tf::simd
