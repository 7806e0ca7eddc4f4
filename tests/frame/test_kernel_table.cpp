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
