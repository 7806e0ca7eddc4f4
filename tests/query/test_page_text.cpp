// tf_text through the public API: clamping, exact byte cuts, the 0x00 cut of
// "text", pages that split a character, and escaping.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"

namespace {

using namespace std::string_view_literals;
using tf_test::OpenText;
using tf_test::take;

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

TEST(TfText, Clamping) {
  OpenText file("ab\ncd"sv);
  const int h = file.handle();
  static const struct {
    std::int64_t offset;
    std::int32_t max_bytes;
    const char* json;
  } kCases[] = {
      {0, 0, "{\"text\":\"\",\"next_offset\":0}"},
      {0, 10, "{\"text\":\"ab\\ncd\",\"next_offset\":5}"},
      {-5, 10, "{\"text\":\"ab\\ncd\",\"next_offset\":5}"},
      {kMin64, 2, "{\"text\":\"ab\",\"next_offset\":2}"},
      {0, -1, "{\"text\":\"\",\"next_offset\":0}"},
      {3, kMin32, "{\"text\":\"\",\"next_offset\":3}"},
      {5, 10, "{\"text\":\"\",\"next_offset\":5}"},
      {6, 10, "{\"text\":\"\",\"next_offset\":5}"},
      {kMax64, kMax32, "{\"text\":\"\",\"next_offset\":5}"},
      {1, kMax32, "{\"text\":\"b\\ncd\",\"next_offset\":5}"},
      {2, 1, "{\"text\":\"\\n\",\"next_offset\":3}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.offset << " " << c.max_bytes);
    EXPECT_EQ(take(tf_text(h, c.offset, c.max_bytes)), c.json);
  }
}

TEST(TfText, PagingFourBytesAtATime) {
  OpenText file("ab\ncd"sv);
  const int h = file.handle();
  EXPECT_EQ(take(tf_text(h, 0, 4)), "{\"text\":\"ab\\nc\",\"next_offset\":4}");
  EXPECT_EQ(take(tf_text(h, 4, 4)), "{\"text\":\"d\",\"next_offset\":5}");
  EXPECT_EQ(take(tf_text(h, 5, 4)), "{\"text\":\"\",\"next_offset\":5}");
}

TEST(TfText, TextEndsAtAZeroByteButNextOffsetCountsTheWholePage) {
  OpenText file("ab\0cd\0ef"sv);
  const int h = file.handle();
  EXPECT_EQ(take(tf_text(h, 0, 100)), "{\"text\":\"ab\",\"next_offset\":8}");
  EXPECT_EQ(take(tf_text(h, 2, 3)), "{\"text\":\"\",\"next_offset\":5}");
  EXPECT_EQ(take(tf_text(h, 3, 3)), "{\"text\":\"cd\",\"next_offset\":6}");
}

TEST(TfText, PageCutInsideACharacterFailsToSerialize) {
  OpenText file("a\xC3\xA9z"sv);  // a, é, z
  const int h = file.handle();
  EXPECT_EQ(take(tf_text(h, 0, 2)), "<null>");  // ends inside é
  EXPECT_STREQ(tf_last_error(), "failed to serialize JSON");
  EXPECT_EQ(take(tf_text(h, 2, 2)), "<null>");  // begins inside é
  EXPECT_STREQ(tf_last_error(), "failed to serialize JSON");
  EXPECT_EQ(take(tf_text(h, 2, 0)), "{\"text\":\"\",\"next_offset\":2}");  // empty: nothing cut
  EXPECT_EQ(take(tf_text(h, 0, 3)), "{\"text\":\"a\xC3\xA9\",\"next_offset\":3}");
  EXPECT_EQ(take(tf_text(h, 1, 3)), "{\"text\":\"\xC3\xA9z\",\"next_offset\":4}");
  // A successful call leaves the earlier message in place.
  EXPECT_STREQ(tf_last_error(), "failed to serialize JSON");
}

TEST(TfText, Escaping) {
  OpenText file(
      "q\"b\\t\tn\nc\x01"
      "d\x1F/\xC3\xA9\x7F"sv);
  EXPECT_EQ(take(tf_text(file.handle(), 0, 100)),
            "{\"text\":\"q\\\"b\\\\t\\tn\\nc\\u0001d\\u001F/\xC3\xA9\x7F\",\"next_offset\":16}");
}

TEST(TfText, PagesOfTheDecodedText) {
  // UTF-16LE with byte-order mark: 'h', 'é', CR, LF.
  OpenText file("\xFF\xFEh\0\xE9\0\r\0\n\0"sv);
  const int h = file.handle();
  EXPECT_EQ(take(tf_text(h, 0, 100)), "{\"text\":\"h\xC3\xA9\\r\\n\",\"next_offset\":5}");
  EXPECT_EQ(take(tf_text(h, 1, 2)), "{\"text\":\"\xC3\xA9\",\"next_offset\":3}");
}

TEST(TfText, EmptyDocument) {
  OpenText file(""sv);
  for (std::int64_t offset : {kMin64, std::int64_t{0}, std::int64_t{1}, kMax64}) {
    EXPECT_EQ(take(tf_text(file.handle(), offset, 10)), "{\"text\":\"\",\"next_offset\":0}");
  }
}

TEST(TfText, InvalidHandles) {
  for (int h : {-1, 64, 1000}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(tf_text(h, 0, 10), nullptr);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
}

TEST(TfText, ClosedHandle) {
  int h = -1;
  {
    OpenText file("abc"sv);
    h = file.handle();
    EXPECT_EQ(take(tf_text(h, 0, 1)), "{\"text\":\"a\",\"next_offset\":1}");
  }
  EXPECT_EQ(tf_text(h, 0, 1), nullptr);
  EXPECT_STREQ(tf_last_error(), "invalid handle");
}

}  // namespace
