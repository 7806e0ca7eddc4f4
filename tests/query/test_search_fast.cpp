// The vector candidate scans behind tf_search and tf_replace_preview, each
// dispatch level in turn, against the plain nested-loop models: first and
// last bytes of every class (letters in both cases and the bytes next to
// them, which must not fold), texts from small alphabets full of near
// misses, every text length up to 200 at every alignment, hit limits, and
// replacements that grow the output.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "query/find_matches.hpp"
#include "query/replace_all.hpp"
#include "query/two_way_matcher.hpp"
#include "reference/naive_search.hpp"
#include "support/heap_blocks.hpp"
#include "support/simd_levels.hpp"

namespace {

using tf_test::for_each_level;

const unsigned char* bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Bytes around the letters (folding must leave '@', '[', '`', '{', 0xC1,
// 0xE1 alone), letters in both cases, 0x00 and high bytes.
const char kAlphabet[] = {'a',
                          'A',
                          'z',
                          'Z',
                          '@',
                          '[',
                          '`',
                          '{',
                          'q',
                          'Q',
                          '\0',
                          static_cast<char>(0xC1),
                          static_cast<char>(0xE1),
                          ' ',
                          'e'};

std::string random_from(std::mt19937_64& rng, std::size_t n, std::size_t alphabet) {
  std::string s(n, ' ');
  for (char& c : s) c = kAlphabet[rng() % alphabet];
  return s;
}

// The text placed `offset` bytes past a 64-byte boundary in an exact-size
// tail, so that reads past its end are caught by AddressSanitizer.
class Placed {
 public:
  Placed(const std::string& s, std::size_t offset) {
    storage_ = static_cast<unsigned char*>(
        tf_test::alloc_aligned(64, (s.size() + offset + 64) / 64 * 64 + 64));
    data_ = storage_ + offset;
    if (!s.empty()) std::memcpy(data_, s.data(), s.size());
  }
  ~Placed() { tf_test::free_aligned(storage_); }
  Placed(const Placed&) = delete;
  Placed& operator=(const Placed&) = delete;
  const unsigned char* data() const { return data_; }

 private:
  unsigned char* storage_;
  unsigned char* data_;
};

std::string check_find(const unsigned char* text, const std::string& t, const std::string& pattern,
                       bool fold, int capacity) {
  std::vector<std::uint64_t> got(capacity > 0 ? static_cast<std::size_t>(capacity) : 1);
  const int count = tf::query::find_matches(text, t.size(), bytes(pattern), pattern.size(),
                                            fold ? 1 : 0, got.data(), capacity);
  got.resize(static_cast<std::size_t>(count));
  const std::vector<std::uint64_t> want = tf_ref::find_all(t, pattern, fold, capacity);
  if (got == want) return "";
  return "text " + testing::PrintToString(t) + " pattern " + testing::PrintToString(pattern) +
         " fold " + std::to_string(fold) + ": " + std::to_string(count) + " hits instead of " +
         std::to_string(want.size());
}

TEST(SearchFast, EveryLengthAndAlignmentWithNearMisses) {
  std::mt19937_64 rng(41);
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 200; ++length) {
      const std::string t = random_from(rng, length, 4 + length % 11);
      for (std::size_t align = 0; align < 64; align += 9) {
        const Placed p(t, align);
        for (int round = 0; round < 4; ++round) {
          const std::size_t m = 1 + rng() % 6;
          std::string pattern;
          if (length >= m && round % 2 == 0) {
            pattern = t.substr(rng() % (length - m + 1), m);  // one that occurs
          } else {
            pattern = random_from(rng, m, 4 + length % 11);
          }
          for (const bool fold : {false, true}) {
            ASSERT_EQ(check_find(p.data(), t, pattern, fold, 1000), "") << "align " << align;
            ASSERT_EQ(check_find(p.data(), t, pattern, fold, 1 + static_cast<int>(rng() % 3)), "");
          }
        }
      }
    }
  });
}

TEST(SearchFast, EveryFirstAndLastByteClass) {
  // Patterns x?y over every pair of bytes of the alphabet, in a text that
  // holds each of them in both cases at every offset of a vector block.
  std::string text;
  for (const char a : kAlphabet) {
    for (const char b : kAlphabet) {
      text += a;
      text += '.';
      text += b;
      text += ' ';
    }
  }
  text += text.substr(1) + text.substr(2);
  for_each_level([&](tf::simd::Level) {
    const Placed p(text, 0);
    for (const char a : kAlphabet) {
      for (const char b : kAlphabet) {
        for (const std::string& pattern : {std::string{a, '.', b}, std::string{a, b}}) {
          for (const bool fold : {false, true}) {
            ASSERT_EQ(check_find(p.data(), text, pattern, fold, 100000), "");
          }
        }
      }
    }
  });
}

TEST(SearchFast, LongTextsAndManyHits) {
  std::mt19937_64 rng(42);
  const std::string t = random_from(rng, 100000, 6);
  for_each_level([&](tf::simd::Level) {
    const Placed p(t, 5);
    for (const std::string pattern : {"a", "aA", "zZa", "Q@", "[`{", "aaaaaaaaaaaaaaaaaaaaa"}) {
      for (const bool fold : {false, true}) {
        ASSERT_EQ(check_find(p.data(), t, pattern, fold, 100000), "");
        ASSERT_EQ(check_find(p.data(), t, pattern, fold, 7), "");
      }
    }
  });
}

TEST(SearchFast, ReplaceAllAgreesAtEveryLevel) {
  std::mt19937_64 rng(43);
  for_each_level([&](tf::simd::Level) {
    for (int round = 0; round < 400; ++round) {
      const std::string t = random_from(rng, rng() % 300, 5);
      const std::string find = random_from(rng, 1 + rng() % 3, 5);
      const std::string repl = random_from(rng, rng() % 6, 5);
      const bool fold = round % 2 == 1;
      const tf_ref::Replaced want = tf_ref::replace_all(t, find, repl, fold);
      const tf::query::ReplaceOutput got = tf::query::replace_all(
          bytes(t), t.size(), bytes(find), find.size(), bytes(repl), repl.size(), fold);
      ASSERT_TRUE(got.data);
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(got.data.get()), got.length), want.text);
      ASSERT_EQ(got.count, want.count);
      ASSERT_EQ(got.capacity, want.capacity);
    }
  });
}

}  // namespace

// Queries whose candidates agree deep into the pattern (periodic text and
// pattern) hand the scan over to the linear-time matcher part way through;
// the hits, the replaced text (also when only its start is kept) and the
// count stay those of the plain models, at every level, folded or not.
TEST(SearchFast, PeriodicQueriesAgreeAfterTheHandOver) {
  std::string a_text(120000, 'a');
  for (const std::size_t at : {50, 777, 40000, 99000, 119990}) a_text[at] = 'b';
  std::string ab_text;
  while (ab_text.size() < 90000) ab_text += ab_text.size() % 7001 == 0 ? "aab" : "ab";
  const std::string mid = std::string(600, 'a') + "b" + std::string(600, 'a');
  const struct {
    const std::string& text;
    std::string pattern;
  } cases[] = {{a_text, mid},
               {a_text, std::string(300, 'A')},
               {a_text, std::string(100, 'a') + "B" + std::string(100, 'a')},
               {ab_text,
                [] {
                  std::string s;
                  while (s.size() < 700) s += "ab";
                  return s;
                }()},
               {ab_text, "abaab"}};
  for_each_level([&](tf::simd::Level) {
    for (const auto& c : cases) {
      for (const bool fold : {false, true}) {
        ASSERT_EQ(check_find(bytes(c.text), c.text, c.pattern, fold, 100000), "");
        const tf_ref::Replaced want = tf_ref::replace_all(c.text, c.pattern, "xyz", fold);
        for (const std::uint64_t keep : {std::uint64_t{1000}, UINT64_MAX - 1}) {
          const tf::query::ReplaceOutput got =
              tf::query::replace_all(bytes(c.text), c.text.size(), bytes(c.pattern),
                                     c.pattern.size(), bytes("xyz"), 3, fold, keep);
          ASSERT_TRUE(got.data);
          ASSERT_EQ(reinterpret_cast<const char*>(got.data.get()), want.text.substr(0, keep));
          ASSERT_EQ(got.length, want.text.size());
          ASSERT_EQ(got.count, want.count);
        }
      }
    }
  });
  // The matcher on its own, folding, asked from one past each hit: every
  // pattern over {a, Z} up to 9 bytes in random and periodic stretches.
  std::mt19937_64 rng(44);
  std::string text;
  for (int k = 0; k < 8; ++k) text += random_from(rng, 60, 4) + "aAaaAaaaAaZazAZaZAzazaZaaZaaZAAz";
  for (unsigned code = 2; code < 1024; ++code) {  // the highest 1 bit marks the length
    std::string pattern;
    for (unsigned c = code; c > 1; c >>= 1) pattern += (c & 1) != 0 ? 'Z' : 'a';
    tf::query::TwoWayMatcher matcher(bytes(pattern), pattern.size(), true);
    std::vector<std::uint64_t> got;
    for (std::uint64_t p = matcher.next(bytes(text), text.size(), 0); p != tf::query::kNoMatch;
         p = matcher.next(bytes(text), text.size(), p + 1)) {
      got.push_back(p);
    }
    ASSERT_EQ(got, tf_ref::find_all(text, pattern, true, 100000)) << pattern;
  }
}
