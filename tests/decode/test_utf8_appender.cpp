#include <gtest/gtest.h>

#include "decode/utf8_appender.hpp"

namespace {

using tf::decode::Utf8Appender;

TEST(Utf8Appender, StartsAt256AndDoublesWhenTheTerminatorNoLongerFits) {
  Utf8Appender a;
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(a.capacity(), 0u);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(a.append('x'), 0);
  EXPECT_EQ(a.capacity(), 256u);
  EXPECT_EQ(a.data()[255], 0);
  ASSERT_EQ(a.append('y'), 0);  // text reaches 256 bytes
  EXPECT_EQ(a.capacity(), 512u);
  EXPECT_EQ(a.length(), 256u);
  EXPECT_EQ(a.data()[256], 0);
}

TEST(Utf8Appender, EncodesEachLengthAndReplacesBeyondUnicode) {
  struct {
    std::uint32_t cp;
    std::vector<unsigned char> bytes;
  } const cases[] = {
      {0x00, {0x00}},
      {0x7F, {0x7F}},
      {0x80, {0xC2, 0x80}},
      {0x7FF, {0xDF, 0xBF}},
      {0x800, {0xE0, 0xA0, 0x80}},
      {0xD800, {0xED, 0xA0, 0x80}},
      {0xFFFF, {0xEF, 0xBF, 0xBF}},
      {0x10000, {0xF0, 0x90, 0x80, 0x80}},
      {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}},
      {0x110000, {0xEF, 0xBF, 0xBD}},
      {0xFFFFFFFF, {0xEF, 0xBF, 0xBD}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cp);
    Utf8Appender a;
    ASSERT_EQ(a.append(c.cp), 0);
    ASSERT_EQ(a.length(), c.bytes.size());
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), a.data()));
    EXPECT_EQ(a.data()[a.length()], 0);
  }
}

TEST(Utf8Appender, BulkAppendEndsAtTheSameCapacity) {
  for (std::uint64_t n : {1u, 255u, 256u, 511u, 512u, 1000u, 4096u}) {
    SCOPED_TRACE(n);
    Utf8Appender one, bulk;
    std::vector<unsigned char> bytes(n, 'a');
    for (std::uint64_t i = 0; i < n; ++i) ASSERT_EQ(one.append('a'), 0);
    ASSERT_EQ(bulk.append_bytes(bytes.data(), n), 0);
    EXPECT_EQ(bulk.capacity(), one.capacity());
    EXPECT_EQ(bulk.length(), one.length());
  }
}

}  // namespace
