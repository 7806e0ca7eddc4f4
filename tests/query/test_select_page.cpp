// select_page: how tf_text clamps its offset and size.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "query/page_text.hpp"

namespace {

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

TEST(SelectPage, Clamping) {
  static const struct {
    std::uint64_t n;
    std::int64_t offset;
    std::int32_t max_bytes;
    std::uint64_t page_offset;
    std::uint64_t page_length;
  } kCases[] = {
      {5, 0, 0, 0, 0},
      {5, 0, 10, 0, 5},
      {5, -5, 10, 0, 5},
      {5, kMin64, 3, 0, 3},
      {5, 0, -1, 0, 0},
      {5, 2, kMin32, 2, 0},
      {5, 0, 4, 0, 4},
      {5, 4, 4, 4, 1},
      {5, 5, 4, 5, 0},
      {5, 6, 4, 5, 0},
      {5, kMax64, kMax32, 5, 0},
      {5, 1, kMax32, 1, 4},
      {5, 1, 3, 1, 3},
      {5, 2, 3, 2, 3},  // ends exactly at the end
      {0, 0, 10, 0, 0},
      {0, 7, 10, 0, 0},
      {0, -7, -10, 0, 0},
      // Texts longer than any page: offset + max_bytes never wraps.
      {3000000000ull, 2999999999ll, kMax32, 2999999999ull, 1},
      {3000000000ull, 100, kMax32, 100, static_cast<std::uint64_t>(kMax32)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.n << " " << c.offset << " " << c.max_bytes);
    const tf::query::PageRange page = tf::query::select_page(c.n, c.offset, c.max_bytes);
    EXPECT_EQ(page.offset, c.page_offset);
    EXPECT_EQ(page.length, c.page_length);
  }
}

}  // namespace
