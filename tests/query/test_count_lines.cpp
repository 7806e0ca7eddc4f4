// count_lines: the one line count behind "lines" of tf_info and tf_stats.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "query/count_lines.hpp"
#include "reference/text_measures.hpp"

namespace {

using namespace std::string_view_literals;

std::int64_t lines_of(std::string_view t) {
  return tf::query::count_lines(reinterpret_cast<const unsigned char*>(t.data()), t.size());
}

TEST(CountLines, EveryBreakCombination) {
  static const struct {
    std::string_view text;
    std::int64_t lines;
  } kCases[] = {
      {""sv, 0},
      {"a"sv, 1},
      {"a\n"sv, 1},
      {"a\nb"sv, 2},
      {"\n"sv, 1},
      {"\n\n"sv, 2},
      {"\r"sv, 1},
      {"\r\r"sv, 2},
      {"\r\n"sv, 1},
      {"\r\n\r\n"sv, 2},
      {"\n\r"sv, 2},  // LF then CR: two breaks
      {"a\r\n"sv, 1},
      {"a\r\nb"sv, 2},
      {"a\rb"sv, 2},
      {"a\n\rb"sv, 3},    // LF followed by CR is two breaks, not one
      {"a\r\r\nb"sv, 3},  // CR, then CR LF
      {"\r\r\n\n"sv, 3},
      {"a\r"sv, 1},  // trailing breaks start no further line
      {"a\r\r"sv, 2},
      {"a\n\n"sv, 2},
      {"a\r\n\r\n"sv, 2},
      {"a\n\r\n"sv, 2},
      {"a\r\n\n"sv, 2},
      {"a\r\n\r"sv, 2},
      {"\x0B\x0C"sv, 1},  // VT and FF are content
      {"a\xC2\x85"
       "b\xE2\x80\xA8"
       "c\xE2\x80\xA9"
       "d"sv,
       1},  // so are NEL, LS, PS
      {"a\0b"sv, 1},
      {"\0\n\0"sv, 2},
      {"a\0\r\0b"sv, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(lines_of(c.text), c.lines);
    EXPECT_EQ(tf_ref::lines(c.text), c.lines);  // the reference agrees with the table
  }
}

TEST(CountLines, AbsentTextIsZeroWhateverTheLength) {
  EXPECT_EQ(tf::query::count_lines(nullptr, 0), 0);
  EXPECT_EQ(tf::query::count_lines(nullptr, 10), 0);
}

TEST(CountLines, OnlyTheGivenLengthIsScanned) {
  const std::string t = "a\nb\nc";
  EXPECT_EQ(tf::query::count_lines(reinterpret_cast<const unsigned char*>(t.data()), 2), 1);
  EXPECT_EQ(tf::query::count_lines(reinterpret_cast<const unsigned char*>(t.data()), 3), 2);
}

// Every text of up to 7 bytes over {a, CR, LF, 0x00}.
TEST(CountLines, ExhaustiveOverShortTexts) {
  const char alphabet[] = {'a', '\r', '\n', '\0'};
  for (std::size_t len = 0; len <= 7; ++len) {
    std::size_t total = 1;
    for (std::size_t k = 0; k < len; ++k) total *= 4;
    for (std::size_t code = 0; code < total; ++code) {
      std::string t(len, ' ');
      std::size_t c = code;
      for (std::size_t k = 0; k < len; ++k, c /= 4) t[k] = alphabet[c % 4];
      ASSERT_EQ(lines_of(t), tf_ref::lines(t)) << testing::PrintToString(t);
    }
  }
}

TEST(CountLines, RandomTextsMatchTheReference) {
  std::mt19937_64 rng(20240611);
  const char alphabet[] = "ab \r\n\r\n\t\x0B\x0C";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<std::size_t> length(0, 3000);
  for (int round = 0; round < 300; ++round) {
    std::string t(length(rng), ' ');
    for (char& ch : t) ch = alphabet[pick(rng)];
    ASSERT_EQ(lines_of(t), tf_ref::lines(t)) << "round " << round;
  }
}

}  // namespace
