// find_matches and replace_all against the plain models in
// reference/naive_search.hpp: exhaustive over short texts, seeded random over
// longer ones, and every alignment of texts that end exactly where their heap
// block ends (so a read past the end shows under AddressSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "query/find_matches.hpp"
#include "query/replace_all.hpp"
#include "reference/naive_search.hpp"
#include "support/simd_levels.hpp"

namespace {

using tf::query::find_matches;
using tf::query::replace_all;

const unsigned char* bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// All strings of length 0..max_length over `alphabet`.
std::vector<std::string> all_strings(const std::string& alphabet, std::size_t max_length) {
  std::vector<std::string> out{""};
  std::size_t begin = 0;
  for (std::size_t len = 1; len <= max_length; ++len) {
    const std::size_t end = out.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (char c : alphabet) out.push_back(out[i] + c);
    }
    begin = end;
  }
  return out;
}

const std::string kAlphabet("aAb\0\xC3\xA9", 6);

std::vector<std::uint64_t> library_hits(const std::string& text, const std::string& pattern,
                                        bool fold, int capacity) {
  std::vector<std::uint64_t> out(capacity > 0 ? static_cast<std::size_t>(capacity) : 1, UINT64_MAX);
  const int count = find_matches(bytes(text), text.size(), bytes(pattern), pattern.size(),
                                 fold ? 1 : 0, out.data(), capacity);
  if (count < 0 || count > (capacity > 0 ? capacity : 0)) {
    ADD_FAILURE() << "count " << count << " for capacity " << capacity;
    return {};
  }
  // Nothing is written past the count.
  const bool untouched =
      std::all_of(out.begin() + count, out.end(), [](std::uint64_t v) { return v == UINT64_MAX; });
  EXPECT_TRUE(untouched);
  out.resize(static_cast<std::size_t>(count));
  return out;
}

void expect_same_hits(const std::string& text, const std::string& pattern, bool fold,
                      int capacity) {
  const auto expected = tf_ref::find_all(text, pattern, fold, capacity);
  const auto got = library_hits(text, pattern, fold, capacity);
  if (got != expected) {
    ADD_FAILURE() << "text " << testing::PrintToString(text) << " pattern "
                  << testing::PrintToString(pattern) << " fold " << fold << " capacity " << capacity
                  << ": " << testing::PrintToString(got) << " instead of "
                  << testing::PrintToString(expected);
  }
}

TEST(FindMatches, NothingForDegenerateArguments) {
  const std::string text = "aaaa";
  std::uint64_t out[4] = {7, 7, 7, 7};
  const unsigned char* t = bytes(text);
  EXPECT_EQ(find_matches(nullptr, 4, t, 1, 0, out, 4), 0);
  EXPECT_EQ(find_matches(t, 4, nullptr, 1, 0, out, 4), 0);
  EXPECT_EQ(find_matches(t, 4, t, 0, 0, out, 4), 0);
  EXPECT_EQ(find_matches(t, 4, t, 1, 0, out, 0), 0);
  EXPECT_EQ(find_matches(t, 4, t, 1, 0, out, -1), 0);
  EXPECT_EQ(find_matches(t, 4, t, 1, 0, out, INT_MIN), 0);
  EXPECT_EQ(find_matches(t, 3, t, 4, 0, out, 4), 0);  // pattern longer than the text
  EXPECT_EQ(find_matches(t, 0, t, 1, 1, out, 4), 0);
  for (std::uint64_t v : out) EXPECT_EQ(v, 7u);
}

TEST(FindMatches, OverlappingHitsAndCapacity) {
  struct Case {
    std::string text, pattern;
    int fold, capacity;
    std::vector<std::uint64_t> hits;
  } const cases[] = {
      {"aaaa", "aa", 0, 100, {0, 1, 2}},
      {"aaaa", "a", 0, 2, {0, 1}},
      {"aaaa", "aaaa", 0, 100, {0}},
      {"Hello HELLO hello", "hello", 0, 100, {12}},
      {"Hello HELLO hello", "hello", 1, 100, {0, 6, 12}},
      {"Hello HELLO hello", "HELLO", 1, 2, {0, 6}},
      {"\xC3\xA9 \xC3\x89", "\xC3\xA9", 1, 100, {0}},  // 'é' is not folded to 'É'
      {"\xC3\xA9 \xC3\x89", "\xC3\x89", 1, 100, {3}},
      {std::string("a\0bab", 5), "b", 0, 100, {2, 4}},
      {std::string("a\0bab", 5), std::string("\0b", 2), 0, 100, {1}},
      {"[{@`", "{", 1, 100, {1}},  // neighbours of the letters are not folded
      {"[{@`", "[", 1, 100, {0}},
      {"@`", "`", 1, 100, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " / " + testing::PrintToString(c.pattern));
    EXPECT_EQ(library_hits(c.text, c.pattern, c.fold != 0, c.capacity), c.hits);
  }
}

// Every pair of bytes, as the first pattern byte and as a later one: only
// 'A'..'Z' against 'a'..'z' (either way round) agree when they differ.
TEST(FindMatches, EveryBytePair) {
  for (int t = 0; t < 256; ++t) {
    for (int p = 0; p < 256; ++p) {
      const std::string tb(1, static_cast<char>(t));
      const std::string pb(1, static_cast<char>(p));
      const bool folds =
          t == p || (t >= 'A' && t <= 'Z' && p == t + 32) || (p >= 'A' && p <= 'Z' && t == p + 32);
      for (bool fold : {false, true}) {
        const bool expected = fold ? folds : t == p;
        std::uint64_t out[2] = {9, 9};
        EXPECT_EQ(find_matches(bytes(tb), 1, bytes(pb), 1, fold, out, 2), expected ? 1 : 0)
            << t << " " << p << " " << fold;
        const std::string text = (fold ? "q" : "Q") + tb;
        const std::string pattern = "Q" + pb;
        const int count = find_matches(bytes(text), 2, bytes(pattern), 2, fold, out, 2);
        EXPECT_EQ(count, expected ? 1 : 0) << t << " " << p << " " << fold;
        EXPECT_EQ(tf_ref::find_all(text, pattern, fold, 2).size(), static_cast<std::size_t>(count));
      }
    }
  }
}

void sweep(const std::vector<std::string>& texts, const std::vector<std::string>& patterns) {
  for (const std::string& text : texts) {
    for (const std::string& pattern : patterns) {
      for (bool fold : {false, true}) {
        // 8 is more than any text of the sweep can hold.
        const std::size_t all = tf_ref::find_all(text, pattern, fold, 8).size();
        expect_same_hits(text, pattern, fold, 8);
        // Stopping when the array is full.
        if (all > 0) expect_same_hits(text, pattern, fold, 1);
        if (all > 1) expect_same_hits(text, pattern, fold, static_cast<int>(all) - 1);
      }
    }
  }
}

TEST(FindMatches, ExhaustiveOverShortTexts) {
  sweep(all_strings(kAlphabet, 5), all_strings(kAlphabet, 2));
  std::vector<std::string> three;
  for (const std::string& p : all_strings(kAlphabet, 3)) {
    if (p.size() == 3) three.push_back(p);
  }
  sweep(all_strings(kAlphabet, 4), three);
}

// Random strings over the alphabet, and patterns that are mostly pieces of
// the text with their letters' case flipped at random.
class RandomStrings {
 public:
  explicit RandomStrings(std::uint32_t seed) : rng_(seed) {}
  int below(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
  std::string over(const std::string& alphabet, std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
      s += alphabet[below(static_cast<int>(alphabet.size()))];
    return s;
  }
  std::string pattern_for(const std::string& text, const std::string& alphabet) {
    if (below(3) == 0 || text.empty()) return over(alphabet, static_cast<std::size_t>(below(7)));
    const std::size_t start = static_cast<std::size_t>(below(static_cast<int>(text.size())));
    const std::size_t max_len = text.size() - start;
    std::size_t len =
        static_cast<std::size_t>(below(static_cast<int>(max_len < 40 ? max_len : 40)) + 1);
    std::string p = text.substr(start, len);
    for (char& c : p) {
      if (below(2) == 0) {
        if (c == 'a')
          c = 'A';
        else if (c == 'A')
          c = 'a';
      }
    }
    return p;
  }

 private:
  std::mt19937 rng_;
};

TEST(FindMatches, SeededRandomAgainstPlainScan) {
  RandomStrings rnd(20240611);
  for (int iter = 0; iter < 20000; ++iter) {
    const std::string text = rnd.over(kAlphabet, static_cast<std::size_t>(rnd.below(300)));
    const std::string pattern = rnd.pattern_for(text, kAlphabet);
    const bool fold = rnd.below(2) == 1;
    const int capacity = rnd.below(4) == 0 ? rnd.below(5) - 1 : 1000;
    expect_same_hits(text, pattern, fold, capacity);
  }
}

// Lengths 0..300 at 16 alignments, each text ending exactly at the end of
// its own heap block, with the pattern planted at the end, in the middle and
// nowhere.
TEST(FindMatches, EveryLengthAndAlignment) {
  RandomStrings rnd(7);
  const std::string patterns[] = {
      "a", "A", "b", "ab", "Ab", "aaa", "bA", std::string("\0a", 2), "\xC3\xA9", "\xA9"};
  for (std::size_t len = 0; len <= 300; ++len) {
    for (std::size_t align = 0; align < 16; ++align) {
      std::string text = rnd.over(std::string("b\0", 2), len);
      const std::string& pattern = patterns[(len + align) % std::size(patterns)];
      if (align % 3 != 0 && len >= pattern.size()) {
        text.replace(len - pattern.size(), pattern.size(), pattern);  // at the very end
        text.replace((len - pattern.size()) / 2, pattern.size(), pattern);
      }
      auto block = std::make_unique<unsigned char[]>(align + len);
      std::memcpy(block.get() + align, text.data(), len);
      const unsigned char* t = block.get() + align;
      for (bool fold : {false, true}) {
        const auto expected = tf_ref::find_all(text, pattern, fold, 1000);
        std::vector<std::uint64_t> out(1000);
        const int count =
            find_matches(t, len, bytes(pattern), pattern.size(), fold, out.data(), 1000);
        out.resize(static_cast<std::size_t>(count));
        EXPECT_EQ(out, expected) << "length " << len << " alignment " << align;
      }
    }
  }
}

// The scanner asked for positions in any order (mostly forward, sometimes
// back) still gives the first match at or after each one.
TEST(MatchScanner, AnyOrderOfQuestions) {
  RandomStrings rnd(31337);
  for (int iter = 0; iter < 3000; ++iter) {
    const std::string text = rnd.over(kAlphabet, static_cast<std::size_t>(rnd.below(120)));
    const std::string pattern = rnd.pattern_for(text, kAlphabet);
    const bool fold = rnd.below(2) == 1;
    const auto all = tf_ref::find_all(text, pattern, fold, 1000);
    tf::query::MatchScanner scanner(bytes(text), text.size(), bytes(pattern), pattern.size(), fold);
    std::uint64_t from = 0;
    for (int q = 0; q < 40; ++q) {
      const int step = rnd.below(6);
      if (step == 0) {
        from = static_cast<std::uint64_t>(rnd.below(static_cast<int>(text.size()) + 2));
      } else {
        from += static_cast<std::uint64_t>(step - 1);
      }
      std::uint64_t expected = tf::query::kNoMatch;
      for (std::uint64_t p : all) {
        if (p >= from) {
          expected = p;
          break;
        }
      }
      ASSERT_EQ(scanner.next(from), expected)
          << "text " << testing::PrintToString(text) << " pattern "
          << testing::PrintToString(pattern) << " fold " << fold << " from " << from;
    }
  }
}

void expect_same_replace(const std::string& text, const std::string& find, const std::string& repl,
                         bool fold) {
  const tf_ref::Replaced expected = tf_ref::replace_all(text, find, repl, fold);
  const tf::query::ReplaceOutput got = replace_all(bytes(text), text.size(), bytes(find),
                                                   find.size(), bytes(repl), repl.size(), fold);
  ASSERT_TRUE(got.data);
  const std::string got_text(reinterpret_cast<const char*>(got.data.get()), got.length);
  const bool same = got_text == expected.text && got.count == expected.count &&
                    got.capacity == expected.capacity && got.data[got.length] == 0;
  if (!same) {
    ADD_FAILURE() << "text " << testing::PrintToString(text) << " find "
                  << testing::PrintToString(find) << " repl " << testing::PrintToString(repl)
                  << " fold " << fold << ": " << testing::PrintToString(got_text) << " count "
                  << got.count << " capacity " << got.capacity << " instead of "
                  << testing::PrintToString(expected.text) << " count " << expected.count
                  << " capacity " << expected.capacity;
  }
}

TEST(ReplaceAll, Examples) {
  expect_same_replace("aaaa", "aa", "b", false);
  expect_same_replace("aa", "a", "aa", false);
  expect_same_replace("Cat cat CAT", "Cat", "dog", true);
  expect_same_replace("", "x", "y", false);
  expect_same_replace("abc", "", "y", false);  // an empty find matches nothing
  const tf::query::ReplaceOutput out =
      replace_all(bytes("aa"), 2, bytes("a"), 1, bytes("aa"), 2, false);
  ASSERT_TRUE(out.data);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data.get())), "aaaa");
  EXPECT_EQ(out.count, 2u);
  EXPECT_EQ(out.capacity, 66u);
}

TEST(ReplaceAll, ExhaustiveOverShortTexts) {
  const auto texts = all_strings(kAlphabet, 4);
  const auto finds = all_strings(std::string("aAb\0", 4), 2);
  const std::string repls[] = {"", "x", "XY", std::string(70, 'r'), std::string(200, 'R')};
  for (const std::string& text : texts) {
    for (const std::string& find : finds) {
      for (const std::string& repl : repls) {
        for (bool fold : {false, true}) expect_same_replace(text, find, repl, fold);
      }
    }
  }
}

// Long replacements and many matches make the buffer grow, sometimes several
// doublings at once; the capacity must end where the byte-at-a-time model
// ends.
TEST(ReplaceAll, SeededRandomWithGrowth) {
  RandomStrings rnd(99);
  for (int iter = 0; iter < 3000; ++iter) {
    const std::string text = rnd.over(kAlphabet, static_cast<std::size_t>(rnd.below(400)));
    const std::string find = rnd.pattern_for(text, kAlphabet);
    const int kind = rnd.below(4);
    const std::size_t repl_length = kind == 0   ? 0
                                    : kind == 1 ? static_cast<std::size_t>(rnd.below(4))
                                    : kind == 2 ? static_cast<std::size_t>(rnd.below(80))
                                                : static_cast<std::size_t>(rnd.below(1000));
    const std::string repl = rnd.over("xyZ", repl_length);
    expect_same_replace(text, find, repl, rnd.below(2) == 1);
  }
}

// Candidates that agree deep into the pattern and then differ (at byte 30,
// at byte 63, short of a 64-byte stretch, and in the middle of 1,201 bytes)
// must spend the verification budget, so that the scan hands over to the
// linear-time matcher early, at every level, folded or not. Every byte
// compared counts, up to the one that differs, and the charges add up.
TEST(FindMatches, DeepFailuresHandOverToTheLinearMatcher) {
  const std::string text(std::size_t{1} << 20, 'a');
  // The differing byte is never the second or the next-to-last, which the
  // scan tests before it compares a candidate in full.
  const std::string queries[] = {std::string(63, 'a') + "b" + std::string(2, 'a'),
                                 std::string(30, 'a') + "b" + std::string(2, 'a'),
                                 std::string(600, 'a') + "b" + std::string(600, 'a')};
  tf_test::for_each_level([&](tf::simd::Level) {
    for (const std::string& q : queries) {
      for (const bool fold : {false, true}) {
        SCOPED_TRACE(std::to_string(q.size()) + (fold ? " folded" : " exact"));
        tf::query::MatchScanner scanner(bytes(text), text.size(), bytes(q), q.size(), fold);
        EXPECT_EQ(scanner.next(0), tf::query::kNoMatch);
        EXPECT_TRUE(scanner.handed_over());
      }
    }
  });
}

}  // namespace
