// locate_offset: the line and column behind tf_linecol, at every offset of
// the CR LF examples and against the plain reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "query/locate_offset.hpp"
#include "reference/text_measures.hpp"

namespace {

using namespace std::string_view_literals;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

tf::query::LineCol at(std::string_view t, std::int64_t offset) {
  return tf::query::locate_offset(reinterpret_cast<const unsigned char*>(t.data()), t.size(),
                                  offset);
}

struct Expected {
  std::int64_t offset;
  std::int64_t line;
  std::int64_t col;
};

void check(std::string_view text, std::initializer_list<Expected> cases) {
  for (const Expected& e : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)) + " @ " + std::to_string(e.offset));
    const tf::query::LineCol got = at(text, e.offset);
    EXPECT_EQ(got.line, e.line);
    EXPECT_EQ(got.col, e.col);
    const tf_ref::Position ref = tf_ref::line_col(text, e.offset);
    EXPECT_EQ(ref.line, e.line);
    EXPECT_EQ(ref.col, e.col);
  }
}

TEST(LocateOffset, CrLfPairAtEveryOffset) {
  check("ab\r\ncd"sv, {{kMin, 1, 1},
                       {-5, 1, 1},
                       {-1, 1, 1},
                       {0, 1, 1},
                       {1, 1, 2},
                       {2, 1, 3},
                       {3, 2, 1},  // between CR and LF: already the next line
                       {4, 2, 1},
                       {5, 2, 2},
                       {6, 2, 3},
                       {7, 2, 3},
                       {100, 2, 3},
                       {kMax, 2, 3}});
}

TEST(LocateOffset, CrCrLfLfAtEveryOffset) {
  check("\r\r\n\n"sv, {{kMin, 1, 1},
                       {0, 1, 1},
                       {1, 2, 1},
                       {2, 3, 1},
                       {3, 3, 1},
                       {4, 4, 1},
                       {5, 4, 1},
                       {kMax, 4, 1}});
}

TEST(LocateOffset, MoreBreakShapes) {
  check("a\n"sv, {{0, 1, 1}, {1, 1, 2}, {2, 2, 1}, {3, 2, 1}});
  check("a\r"sv, {{1, 1, 2}, {2, 2, 1}});
  check("\r\n"sv, {{0, 1, 1}, {1, 2, 1}, {2, 2, 1}});
  check("\n\r"sv, {{1, 2, 1}, {2, 3, 1}});
  check("a\rb"sv, {{2, 2, 1}, {3, 2, 2}});
  check("a\r\r\nb"sv, {{2, 2, 1}, {3, 3, 1}, {4, 3, 1}, {5, 3, 2}});
  check("\r\n\r\n"sv, {{1, 2, 1}, {2, 2, 1}, {3, 3, 1}, {4, 3, 1}});
  check(
      "a\x0B\x0C"
      "b"sv,
      {{4, 1, 5}});  // VT and FF are content
  check("a\0\nb"sv, {{2, 1, 3}, {3, 2, 1}, {4, 2, 2}});
}

TEST(LocateOffset, ColumnsCountBytesEvenInsideACharacter) {
  check("\xC3\xA9x"sv, {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 1, 4}, {kMax, 1, 4}});
  check("\xF0\x9F\x98\x80\n\xE2\x82\xAC"sv,
        {{2, 1, 3}, {4, 1, 5}, {5, 2, 1}, {7, 2, 3}, {8, 2, 4}});
}

TEST(LocateOffset, EmptyAndAbsentText) {
  for (std::int64_t offset : {kMin, std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, kMax}) {
    SCOPED_TRACE(offset);
    const tf::query::LineCol empty = at(""sv, offset);
    EXPECT_EQ(empty.line, 1);
    EXPECT_EQ(empty.col, 1);
    const tf::query::LineCol absent = tf::query::locate_offset(nullptr, 0, offset);
    EXPECT_EQ(absent.line, 1);
    EXPECT_EQ(absent.col, 1);
  }
}

// Every text of up to 6 bytes over {a, CR, LF}, at every offset from -1 to
// two past the end.
TEST(LocateOffset, ExhaustiveOverShortTexts) {
  const char alphabet[] = {'a', '\r', '\n'};
  for (std::size_t len = 0; len <= 6; ++len) {
    std::size_t total = 1;
    for (std::size_t k = 0; k < len; ++k) total *= 3;
    for (std::size_t code = 0; code < total; ++code) {
      std::string t(len, ' ');
      std::size_t c = code;
      for (std::size_t k = 0; k < len; ++k, c /= 3) t[k] = alphabet[c % 3];
      for (std::int64_t offset = -1; offset <= static_cast<std::int64_t>(len) + 2; ++offset) {
        const tf::query::LineCol got = at(t, offset);
        const tf_ref::Position ref = tf_ref::line_col(t, offset);
        ASSERT_TRUE(got.line == ref.line && got.col == ref.col)
            << testing::PrintToString(t) << " @ " << offset << ": " << got.line << ":" << got.col
            << " vs " << ref.line << ":" << ref.col;
      }
    }
  }
}

TEST(LocateOffset, RandomTextsMatchTheReference) {
  std::mt19937_64 rng(5150);
  const char alphabet[] = "ab\r\n\r\n \xC3\xA9";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<std::size_t> length(0, 600);
  for (int round = 0; round < 100; ++round) {
    std::string t(length(rng), ' ');
    for (char& ch : t) ch = alphabet[pick(rng)];
    std::uniform_int_distribution<std::int64_t> offset(-3, static_cast<std::int64_t>(t.size()) + 3);
    for (int probe = 0; probe < 20; ++probe) {
      const std::int64_t o = offset(rng);
      const tf::query::LineCol got = at(t, o);
      const tf_ref::Position ref = tf_ref::line_col(t, o);
      ASSERT_TRUE(got.line == ref.line && got.col == ref.col) << "round " << round << " @ " << o;
    }
  }
}

}  // namespace
