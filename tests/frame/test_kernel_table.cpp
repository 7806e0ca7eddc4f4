// The kernel tables: forcing a level switches every kernel to that level's
// table, and the portable level's word arithmetic is exact on every byte.
#include <gtest/gtest.h>

#include <cstdint>

#include "frame/kernels.hpp"
#include "frame/swar.hpp"
#include "support/simd_levels.hpp"

namespace {

using tf::simd::Level;

TEST(KernelTable, ForcingALevelSelectsItsTable) {
  const Level detected = tf::simd::detected_level();
  EXPECT_TRUE(tf::simd::level_available(Level::kPortable));
  EXPECT_TRUE(tf::simd::level_available(detected));
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<Level>(l);
    SCOPED_TRACE(tf::simd::level_name(level));
    const Level before = tf::simd::active_level();
    const Level now = tf::simd::force_level(level);
    // An unavailable level changes nothing.
    EXPECT_EQ(now, tf::simd::level_available(level) ? level : before);
    EXPECT_EQ(tf::simd::kernels().level, now);
  }
  tf::simd::reset_level();
  EXPECT_EQ(tf::simd::active_level(), detected);
}

// Each entry of a level's table is that level's own function: an entry
// taken from another level would give the same results, so only the
// pointers tell.
#define TF_EXPECT_OWN_ENTRY(ns, result, name, params) \
  EXPECT_EQ(table->name, &tf::simd::ns::name) << #name;

TEST(KernelTable, EveryEntryIsItsLevelsOwnFunction) {
  int built = 0;
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<Level>(l);
    SCOPED_TRACE(tf::simd::level_name(level));
    const tf::simd::Kernels* table = tf::simd::table_of(level);
    if (table == nullptr) continue;
    ++built;
    EXPECT_EQ(table->level, level);
    switch (level) {
      case Level::kPortable:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, portable)
        break;
#if defined(__x86_64__)
      case Level::kSse2:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, sse2)
        break;
      case Level::kAvx2:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, avx2)
        break;
      case Level::kAvx512bw:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, avx512)
        break;
      case Level::kAvx512vbmi2:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, avx512vbmi2)
        break;
#endif
#if defined(__aarch64__)
      case Level::kNeon:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, neon)
        break;
#endif
#if defined(__wasm_simd128__)
      case Level::kSimd128:
        TF_KERNEL_LIST(TF_EXPECT_OWN_ENTRY, simd128)
        break;
#endif
      default:
        ADD_FAILURE() << "a table for a level of another architecture";
    }
    if (tf::simd::level_available(level)) {
      tf::simd::force_level(level);
      EXPECT_EQ(&tf::simd::kernels(), table);
    }
  }
  tf::simd::reset_level();
#if defined(__x86_64__)
  EXPECT_EQ(built, 5);
#elif defined(__aarch64__) || defined(__wasm_simd128__)
  EXPECT_EQ(built, 2);
#endif
}

// Every byte value at every place of a word, among neighbours that could
// disturb a carry (0x00, 0x7F, 0x80, 0xFF).
TEST(KernelTable, PortableWordMasksAreExactForEveryByte) {
  for (const std::uint64_t fill : {0x0ULL, 0x7FULL, 0x80ULL, 0xFFULL}) {
    for (unsigned b = 0; b < 256; ++b) {
      for (int at = 0; at < 8; ++at) {
        const std::uint64_t w =
            (tf::swar::kOnes * fill & ~(0xFFULL << (8 * at))) | (std::uint64_t{b} << (8 * at));
        for (int k = 0; k < 8; ++k) {
          const unsigned byte = static_cast<unsigned>(w >> (8 * k)) & 0xFF;
          const std::uint64_t bit = 0x80ULL << (8 * k);
          ASSERT_EQ((tf::swar::eq(w, '\n') & bit) != 0, byte == '\n') << b << " " << at;
          ASSERT_EQ((tf::swar::ascii_in(w, '0', '9') & bit) != 0, byte >= '0' && byte <= '9');
          ASSERT_EQ((tf::swar::nonzero(w) & bit) != 0, byte != 0);
        }
        ASSERT_EQ(tf::swar::count(tf::swar::eq(w, static_cast<unsigned char>(b))),
                  static_cast<unsigned>(b == fill ? 8 : 1));
      }
    }
  }
}

}  // namespace
