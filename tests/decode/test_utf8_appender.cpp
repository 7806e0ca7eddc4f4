#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "decode/utf8_appender.hpp"
#include "reference/utf8_reference.hpp"

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

// The smallest of 256, 512, 1024, ... that holds `length` bytes and the
// terminator.
std::uint64_t expected_capacity(std::uint64_t length) {
  std::uint64_t capacity = 256;
  while (capacity < length + 1) capacity *= 2;
  return capacity;
}

TEST(Utf8Appender, GrowthSequenceOverMixedCodePoints) {
  std::mt19937_64 rng(4242);
  Utf8Appender a;
  tf_ref::Bytes expected;
  std::vector<std::uint64_t> capacities;
  while (a.length() < 70000) {
    std::uint32_t cp;
    switch (rng() % 4) {
      case 0:
        cp = static_cast<std::uint32_t>(rng() % 0x80);
        break;
      case 1:
        cp = 0x80 + static_cast<std::uint32_t>(rng() % 0x780);
        break;
      case 2:
        cp = 0x800 + static_cast<std::uint32_t>(rng() % 0xF800);
        break;
      default:
        cp = 0x10000 + static_cast<std::uint32_t>(rng() % 0x100000);
        break;
    }
    ASSERT_EQ(a.append(cp), 0);
    tf_ref::append_utf8(expected, cp);
    ASSERT_EQ(a.length(), expected.size());
    ASSERT_EQ(a.capacity(), expected_capacity(a.length())) << "after " << a.length() << " bytes";
    ASSERT_EQ(a.data()[a.length()], 0);
    if (capacities.empty() || capacities.back() != a.capacity()) capacities.push_back(a.capacity());
  }
  const std::vector<std::uint64_t> doubling = {256,  512,   1024,  2048,  4096,
                                               8192, 16384, 32768, 65536, 131072};
  EXPECT_EQ(capacities, doubling);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), a.data()));
}

TEST(Utf8Appender, ReleaseHandsOverTheBlockAndEmptiesTheAppender) {
  Utf8Appender a;
  EXPECT_EQ(a.release(), nullptr);  // nothing appended: no block
  ASSERT_EQ(a.append(0xE9), 0);
  const unsigned char* data = a.data();
  tf::HeapBytes block = a.release();
  EXPECT_EQ(block.get(), data);
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(a.length(), 0u);
  EXPECT_EQ(a.capacity(), 0u);
}

}  // namespace
