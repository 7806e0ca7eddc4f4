// The word and character kernels behind tf_stats, against the plain
// reference and against tables at the edges of every byte class.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "query/count_chars.hpp"
#include "query/count_words.hpp"
#include "reference/text_measures.hpp"

namespace {

using namespace std::string_view_literals;

const unsigned char* bytes(std::string_view t) {
  return reinterpret_cast<const unsigned char*>(t.data());
}
std::int64_t words_of(std::string_view t) { return tf::query::count_words(bytes(t), t.size()); }
std::int64_t chars_of(std::string_view t) { return tf::query::count_chars(bytes(t), t.size()); }

TEST(CountWords, ByteClassBoundaries) {
  static const struct {
    int byte;
    bool word;
  } kCases[] = {
      {0x00, false}, {0x09, false}, {0x0D, false}, {0x20, false}, {0x2F, false}, {0x30, true},
      {0x39, true},  {0x3A, false}, {0x40, false}, {0x41, true},  {0x5A, true},  {0x5B, false},
      {0x5E, false}, {0x5F, true},  {0x60, false}, {0x61, true},  {0x7A, true},  {0x7B, false},
      {0x7E, false}, {0x7F, false}, {0x80, true},  {0xBF, true},  {0xC0, true},  {0xFF, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.byte);
    const auto b = static_cast<unsigned char>(c.byte);
    const char alone[] = {static_cast<char>(b)};
    const char between[] = {'a', static_cast<char>(b), 'a'};
    EXPECT_EQ(words_of(std::string_view(alone, 1)), c.word ? 1 : 0);
    // A word byte joins its neighbours into one word; a separator splits.
    EXPECT_EQ(words_of(std::string_view(between, 3)), c.word ? 1 : 2);
  }
}

TEST(CountWords, EveryByteAgreesWithTheReference) {
  for (int b = 0; b < 256; ++b) {
    const char one[] = {static_cast<char>(b)};
    EXPECT_EQ(words_of(std::string_view(one, 1)), tf_ref::words(std::string_view(one, 1))) << b;
  }
}

TEST(TextMeasures, Examples) {
  static const struct {
    std::string_view text;
    std::int64_t words;
    std::int64_t chars;
  } kCases[] = {
      {""sv, 0, 0},
      {"Hello, world\n"sv, 2, 13},
      {"don't stop-me now_1"sv, 5, 19},
      {"a\tb\x0B"
       "c\x0C"
       "d e"sv,
       5, 9},
      {"\x40\x5B\x60\x7B"sv, 0, 4},
      {"a\0b"sv, 2, 3},
      {"na\xC3\xAFve caf\xC3\xA9"sv, 2, 10},
      {"x\xC2\xA0y"sv, 1, 3},  // U+00A0 is part of a word
      {"a\xE2\x80\x94"
       "b"sv,
       1, 3},  // so is U+2014
      {"a\xE3\x80\x80"
       "b"sv,
       1, 3},                    // and U+3000
      {"\xEF\xBF\xBD"sv, 1, 1},  // and U+FFFD
      {"\xF0\x9F\x98\x80 \xF0\x9F\x98\x80"sv, 2, 3},
      {"__ 0_9 _"sv, 3, 8},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(words_of(c.text), c.words);
    EXPECT_EQ(chars_of(c.text), c.chars);
    EXPECT_EQ(tf_ref::words(c.text), c.words);
    EXPECT_EQ(tf_ref::chars(c.text), c.chars);
  }
}

TEST(CountChars, SequencesCutOffByTheEnd) {
  static const struct {
    std::string_view text;
    std::int64_t chars;
  } kCases[] = {
      {"\xC3"sv, 1},
      {"a\xC3"sv, 2},
      {"\xC3\xA9"sv, 1},
      {"\xE2"sv, 1},
      {"\xE2\x82"sv, 2},  // the lead byte, then the continuation on its own
      {"\xE2\x82\xAC"sv, 1},
      {"a\xE2\x82"sv, 3},
      {"\xF0"sv, 1},
      {"\xF0\x9F"sv, 2},
      {"\xF0\x9F\x98"sv, 3},
      {"\xF0\x9F\x98\x80"sv, 1},
      {"\xF0\xC3\xA9"sv, 2},      // F0 does not fit; C3 A9 does
      {"\xF0\xE2\x82\xAC"sv, 1},  // F0 fits: the three bytes after it are skipped unseen
      {"\xE0\xF0\x41\x41"sv, 2},  // E0 swallows F0 and 'A'; then 'A'
      {"\xC3\xC3\xC3"sv, 2},      // C3 C3, then the last C3 alone
      {"\xDF\xDF"sv, 1},
      {"\x80\xBF"sv, 2},          // stray continuations step by one
      {"\xF8\x80\x80\x80"sv, 4},  // F8-FF lead nothing
      {"\xFF\xFE"sv, 2},
      {"\xF7\x80\x80\x80"sv, 1},
      {"\xEF\x80"sv, 2},
      {"\xDF"sv, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(chars_of(c.text), c.chars);
    EXPECT_EQ(tf_ref::chars(c.text), c.chars);
  }
}

TEST(TextMeasures, AbsentText) {
  EXPECT_EQ(tf::query::count_words(nullptr, 0), 0);
  EXPECT_EQ(tf::query::count_chars(nullptr, 0), 0);
}

// Every text of up to 4 bytes over the bytes at the edges of the classes.
TEST(TextMeasures, ExhaustiveOverBoundaryBytes) {
  const unsigned char alphabet[] = {0x00, 0x2F, 0x30, 0x41, 0x5F, 0x60, 0x7F, 0x80,
                                    0xBF, 0xC0, 0xDF, 0xE0, 0xEF, 0xF0, 0xF7, 0xF8};
  constexpr std::size_t kSize = sizeof alphabet;
  for (std::size_t len = 0; len <= 4; ++len) {
    std::size_t total = 1;
    for (std::size_t k = 0; k < len; ++k) total *= kSize;
    for (std::size_t code = 0; code < total; ++code) {
      std::string t(len, ' ');
      std::size_t c = code;
      for (std::size_t k = 0; k < len; ++k, c /= kSize)
        t[k] = static_cast<char>(alphabet[c % kSize]);
      ASSERT_EQ(words_of(t), tf_ref::words(t)) << testing::PrintToString(t);
      ASSERT_EQ(chars_of(t), tf_ref::chars(t)) << testing::PrintToString(t);
    }
  }
}

// Random bytes of every value, and random well-formed UTF-8 where chars must
// equal the number of code points.
TEST(TextMeasures, RandomTextsMatchTheReference) {
  std::mt19937_64 rng(77031);
  std::uniform_int_distribution<int> any_byte(0, 255);
  std::uniform_int_distribution<std::size_t> length(0, 2000);
  for (int round = 0; round < 200; ++round) {
    std::string t(length(rng), ' ');
    for (char& ch : t) ch = static_cast<char>(any_byte(rng));
    ASSERT_EQ(words_of(t), tf_ref::words(t)) << "round " << round;
    ASSERT_EQ(chars_of(t), tf_ref::chars(t)) << "round " << round;
  }
  static const char* const kPieces[] = {
      "a",        "Z", "_", " ", ",", "\n", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
      "\xC2\xA0", "9", "\t"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  for (int round = 0; round < 200; ++round) {
    std::string t;
    std::int64_t code_points = 0;
    const std::size_t n = length(rng);
    for (std::size_t k = 0; k < n; ++k, ++code_points) t += kPieces[pick(rng)];
    ASSERT_EQ(chars_of(t), code_points) << "round " << round;
    ASSERT_EQ(words_of(t), tf_ref::words(t)) << "round " << round;
  }
}

}  // namespace
