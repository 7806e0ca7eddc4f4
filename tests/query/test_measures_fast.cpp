// The vector kernels behind tf_stats, tf_info's line count and tf_linecol,
// each dispatch level in turn, against the plain restatements in
// reference/text_measures.hpp: every length up to 256 at every alignment,
// texts of boundary bytes, arbitrary bytes (where the character count must
// fall back to stepping) and long texts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/line_breaks.hpp"
#include "decode/text_gen.hpp"
#include "query/count_chars.hpp"
#include "query/count_lines.hpp"
#include "query/count_words.hpp"
#include "query/locate_offset.hpp"
#include "query/measure_text.hpp"
#include "reference/text_measures.hpp"
#include "support/simd_levels.hpp"
#include "support/sweep.hpp"

namespace {

using tf_test::for_each_level;
using tf_test::hex;

// s copied to `offset` bytes past a 64-byte boundary.
class Placed {
 public:
  Placed(std::string_view s, std::size_t offset) : storage_(s.size() + offset + 64) {
    const auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
    data_ = storage_.data() + (64 - base % 64) % 64 + offset;
    if (!s.empty()) std::memcpy(data_, s.data(), s.size());
  }
  const unsigned char* data() const { return data_; }

 private:
  std::vector<unsigned char> storage_;
  unsigned char* data_;
};

// Bytes at the edges of every class the kernels tell apart.
const unsigned char kEdges[] = {'\r', '\n', '0',  '9',  '/',  ':',  '@',  'A',  'Z',  '[',  '`',
                                'a',  'z',  '{',  '_',  0x5E, 0x7F, 0x80, 0xBF, 0xC0, 0xC2, 0xDF,
                                0xE0, 0xEF, 0xF0, 0xF4, 0xF7, 0xF8, 0xFF, 0x00, ' ',  0x09, 0x0B};

std::string random_text(std::mt19937_64& rng, std::size_t length, int kind) {
  std::string s;
  switch (kind) {
    case 0:  // well-formed UTF-8
      s = tf_test::random_utf8(rng, length);
      // Cut at a character boundary so the text stays well-formed.
      while (s.size() > length) s.pop_back();
      while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
      if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
      break;
    case 1:  // edge bytes
      for (std::size_t i = 0; i < length; ++i)
        s += static_cast<char>(kEdges[rng() % sizeof kEdges]);
      break;
    default:  // anything
      for (std::size_t i = 0; i < length; ++i) s += static_cast<char>(rng());
      break;
  }
  return s;
}

std::string check_measures(const unsigned char* p, std::string_view s) {
  const std::uint64_t n = s.size();
  const tf::query::TextMeasures m = tf::query::measure_text(p, n);
  std::string fault;
  if (m.lines != tf_ref::lines(s)) fault += " lines " + std::to_string(m.lines);
  if (m.words != tf_ref::words(s)) fault += " words " + std::to_string(m.words);
  if (m.chars != tf_ref::chars(s)) fault += " chars " + std::to_string(m.chars);
  if (tf::query::count_lines(p, n) != tf_ref::lines(s)) fault += " count_lines";
  if (tf::query::count_words(p, n) != tf_ref::words(s)) fault += " count_words";
  if (tf::query::count_chars(p, n) != tf_ref::chars(s)) fault += " count_chars";
  return fault;
}

TEST(MeasuresFast, EveryLengthAndAlignment) {
  std::mt19937_64 rng(31);
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 256; ++length) {
      for (int kind = 0; kind < 3; ++kind) {
        const std::string s = random_text(rng, length, kind);
        for (std::size_t align = 0; align < 64; align += 5) {
          const Placed p(s, align);
          ASSERT_EQ(check_measures(p.data(), s), "")
              << "kind " << kind << " align " << align << ": " << hex(s, 300);
        }
      }
    }
  });
}

TEST(MeasuresFast, EveryTripleOfEdgeBytesAcrossABlockBoundary) {
  for_each_level([&](tf::simd::Level) {
    int triple = 0;
    for (const unsigned char a : kEdges) {
      for (const unsigned char b : kEdges) {
        for (const unsigned char c : kEdges) {
          if (triple++ % tf_test::kSweepStride != 0) continue;
          for (const std::size_t at : {61, 62, 63}) {
            std::string s(130, 'w');
            s[at] = static_cast<char>(a);
            s[at + 1] = static_cast<char>(b);
            s[at + 2] = static_cast<char>(c);
            for (const std::size_t end : {at + 3, s.size()}) {
              const std::string_view v(s.data(), end);
              const Placed p(v, 0);
              ASSERT_EQ(check_measures(p.data(), v), "") << hex(v.substr(at));
            }
          }
        }
      }
    }
  });
}

TEST(MeasuresFast, LongTexts) {
  std::mt19937_64 rng(8);
  for (int kind = 0; kind < 3; ++kind) {
    const std::string s = random_text(rng, 100000 + static_cast<std::size_t>(kind), kind);
    for_each_level([&](tf::simd::Level) {
      const Placed p(s, 3);
      ASSERT_EQ(check_measures(p.data(), s), "") << "kind " << kind;
    });
  }
}

TEST(MeasuresFast, LineColAtEveryOffset) {
  std::mt19937_64 rng(9);
  const char alphabet[] = {'\r', '\n', 'x', 'y', '\r', '\n', static_cast<char>(0xC3)};
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 200; length += 1 + length / 8) {
      for (int kind = 0; kind < 2; ++kind) {
        std::string s(length, 'x');
        for (char& c : s) c = alphabet[rng() % (kind == 0 ? 7 : 3)];
        // Long lines too: a few breaks only.
        if (kind == 1) {
          for (char& c : s) c = rng() % 50 == 0 ? '\n' : 'q';
        }
        const Placed p(s, length % 64);
        for (std::int64_t offset = -1; offset <= static_cast<std::int64_t>(length) + 1; ++offset) {
          const tf::query::LineCol got = tf::query::locate_offset(p.data(), length, offset);
          const tf_ref::Position want = tf_ref::line_col(s, offset);
          ASSERT_EQ(got.line, want.line) << hex(s, 300) << " offset " << offset;
          ASSERT_EQ(got.col, want.col) << hex(s, 300) << " offset " << offset;
        }
      }
    }
  });
}

TEST(MeasuresFast, LineStartBeforeEveryPosition) {
  std::mt19937_64 rng(10);
  for_each_level([&](tf::simd::Level) {
    for (int round = 0; round < 40; ++round) {
      std::string s(300, 'x');
      for (char& c : s)
        c = rng() % (round % 4 == 0 ? 200 : 20) == 0 ? (rng() % 2 ? '\r' : '\n') : 'x';
      const Placed p(s, static_cast<std::size_t>(round));
      for (std::size_t n = 0; n <= s.size(); ++n) {
        std::size_t want = n;
        while (want > 0 && s[want - 1] != '\n' && s[want - 1] != '\r') --want;
        ASSERT_EQ(tf::decode::line_start_before(p.data(), n), want) << n;
      }
    }
  });
}

}  // namespace
