// The vector kernels behind detection, decoding and line-ending
// classification, each dispatch level in turn, against the plain reference:
// every one- and two-byte input at the edges of vector blocks, every
// multi-byte lead with every two following bytes, every four-byte sequence
// over representatives of the byte classes, random texts with bit flips at
// every length up to 256 and every alignment, and long texts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/decode.hpp"
#include "decode/line_breaks.hpp"
#include "decode/text_gen.hpp"
#include "decode/utf8_sequence.hpp"
#include "reference/plain_decode.hpp"
#include "support/simd_levels.hpp"
#include "support/sweep.hpp"

namespace {

namespace plain = tf_ref::plain;
using tf_test::for_each_level;
using tf_test::hex;

const unsigned char* bytes_of(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Places s at `offset` bytes past a 64-byte boundary, so that the kernels
// see it at that alignment.
class Aligned {
 public:
  Aligned(std::string_view s, std::size_t offset) : storage_(s.size() + offset + 64) {
    auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
    const std::size_t pad = (64 - base % 64) % 64;
    data_ = storage_.data() + pad + offset;
    if (!s.empty()) std::memcpy(data_, s.data(), s.size());
    size_ = s.size();
  }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::vector<unsigned char> storage_;
  unsigned char* data_;
  std::size_t size_;
};

std::string text_of(const tf::decode::DecodedText& d) {
  return std::string(reinterpret_cast<const char*>(d.text.get()), d.text_length);
}

// Decodes s as `encoding` with the library and with the reference; an empty
// string when they agree, else a description of the difference.
std::string compare_decode(const unsigned char* p, std::size_t n, int encoding) {
  const std::string_view s(reinterpret_cast<const char*>(p), n);
  const plain::Decoded want = plain::decode(s, encoding);
  tf::decode::DecodedText got;
  if (tf::decode::decode_to_utf8(p, n, encoding, got) != 0) return "decode failed";
  if (got.text == nullptr || got.text[got.text_length] != 0) return "not terminated";
  std::string fault;
  if (text_of(got) != want.text) {
    fault += "text " + hex(text_of(got)) + " want " + hex(want.text);
  }
  if (encoding != 3 && got.sanitized != want.sanitized) fault += " sanitized differs";
  return fault;
}

// Everything the library derives from one input, against the reference.
std::string compare_all(const unsigned char* p, std::size_t n) {
  const std::string_view s(reinterpret_cast<const char*>(p), n);
  int encoding = -1, had_bom = -1;
  tf::decode::detect_encoding(p, n, &encoding, &had_bom);
  const plain::Detected want = plain::detect(s);
  if (encoding != want.encoding || had_bom != want.had_bom) return "detection differs";
  if (tf::decode::utf8_valid_prefix(p, n) != plain::valid_prefix(s)) return "valid prefix differs";
  for (int e = 0; e < 4; ++e) {
    const std::string fault = compare_decode(p, n, e);
    if (!fault.empty()) return "encoding " + std::to_string(e) + ": " + fault;
  }
  if (tf::decode::detect_line_ending(p, n) != plain::line_ending(s)) return "line ending differs";
  return "";
}

TEST(DecodeFast, EveryOneAndTwoByteInputAtBlockEdges) {
  const std::size_t positions[] = {0, 31, 62, 63, 127};
  for_each_level([&](tf::simd::Level) {
    std::string buffer(160, 'a');
    for (int b0 = 0; b0 < 256; ++b0) {
      for (int b1 = -1; b1 < 256; ++b1) {
        for (const std::size_t pos : positions) {
          std::string s = buffer;
          s[pos] = static_cast<char>(b0);
          if (b1 >= 0) s[pos + 1] = static_cast<char>(b1);
          for (const std::size_t end : {pos + 1, pos + 2, s.size()}) {
            const std::string_view v(s.data(), end);
            ASSERT_EQ(tf::decode::utf8_valid_prefix(bytes_of(v), v.size()), plain::valid_prefix(v))
                << "pos " << pos << ": " << hex(v.substr(pos));
          }
        }
      }
    }
  });
}

// Each test string followed by one to five ASCII bytes, so that the strings
// fall at every offset within the vector blocks; decoding resumes after each
// replacement, so the validation restarts at all of those offsets too.
std::string concatenate(const std::vector<std::string>& parts) {
  std::string s;
  std::size_t k = 0;
  for (const std::string& part : parts) {
    s += part;
    s.append(1 + k++ % 5, 'x');
  }
  return s;
}

// Every three bytes whose first is not ASCII (an ASCII first byte leaves
// a two-byte input, covered above at the block edges).
TEST(DecodeFast, EveryNonAsciiFirstByteWithEveryTwoFollowingBytes) {
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    std::vector<std::string> parts;
    for (int b1 = lead % tf_test::kSweepStride; b1 < 256; b1 += tf_test::kSweepStride) {
      for (int b2 = 0; b2 < 256; ++b2) {
        parts.push_back({static_cast<char>(lead), static_cast<char>(b1), static_cast<char>(b2)});
      }
    }
    const std::string s = concatenate(parts);
    const plain::Decoded want = plain::decode_utf8(s, 0);
    for_each_level([&](tf::simd::Level) {
      tf::decode::DecodedText got;
      ASSERT_EQ(tf::decode::decode_utf8(bytes_of(s), s.size(), 0, got), 0);
      ASSERT_TRUE(text_of(got) == want.text) << "lead " << lead;
      ASSERT_EQ(got.sanitized, want.sanitized);
    });
    if (HasFatalFailure()) return;
  }
}

TEST(DecodeFast, EveryFourByteSequenceOverByteClassRepresentatives) {
  const unsigned char reps[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF7, 0xF8, 0xFF};
  for (const unsigned char a : reps) {
    std::vector<std::string> parts;
    for (const unsigned char b : reps) {
      for (const unsigned char c : reps) {
        for (const unsigned char d : reps) {
          parts.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                           static_cast<char>(d)});
        }
      }
    }
    const std::string s = concatenate(parts);
    const plain::Decoded want = plain::decode_utf8(s, 0);
    for_each_level([&](tf::simd::Level) {
      tf::decode::DecodedText got;
      ASSERT_EQ(tf::decode::decode_utf8(bytes_of(s), s.size(), 0, got), 0);
      ASSERT_TRUE(text_of(got) == want.text) << "first byte " << int{a};
      // Each sequence alone, across the end of a vector block and cut by
      // the end of the input.
      std::string t(64 + 8, 'y');
      for (std::size_t k = 0; k < parts.size(); ++k) {
        const std::size_t pos = 61 + k % 3;
        t.replace(pos, 4, parts[k]);
        for (const std::size_t end : {t.size(), pos + 4, pos + 2}) {
          const std::string_view v(t.data(), end);
          ASSERT_EQ(tf::decode::utf8_valid_prefix(bytes_of(v), end), plain::valid_prefix(v))
              << hex(v.substr(56));
        }
        t.replace(pos, 4, "yyyy");
      }
    });
    if (HasFatalFailure()) return;
  }
}

TEST(DecodeFast, RandomTextsWithBitFlipsAtEveryLengthAndAlignment) {
  std::mt19937_64 rng(20240607);
  const std::string marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE"};
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 256; ++length) {
      for (std::size_t align = 0; align < 64; ++align) {
        const std::string& mark = marks[rng() % 3];
        std::string s = mark + (mark == "\xFF\xFE" ? tf_test::random_utf16le(rng, length / 2 + 1)
                                                   : tf_test::random_utf8(rng, length));
        s.resize(length);
        tf_test::flip_bits(rng, s, static_cast<int>(rng() % 3));
        const Aligned a(s, align);
        ASSERT_EQ(compare_all(a.data(), a.size()), "")
            << "length " << length << " align " << align << ": " << hex(s, 300);
      }
    }
  });
}

TEST(DecodeFast, LongTextsWithSparseFlips) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 6; ++round) {
    std::string s =
        round % 3 == 2 ? "\xFF\xFE" + tf_test::random_utf16le(rng, 40000)
                       : (round % 3 == 1 ? "\xEF\xBB\xBF" : "") + tf_test::random_utf8(rng, 100000);
    if (round >= 3) tf_test::flip_bits(rng, s, 40);
    for_each_level([&](tf::simd::Level) {
      ASSERT_EQ(compare_all(bytes_of(s), s.size()), "") << "round " << round;
    });
  }
}

// Long ASCII runs (which the vector levels skip several vectors at a time)
// with one other sequence at every place: well-formed, a stray
// continuation, a lead cut off by ASCII.
TEST(DecodeFast, AsciiRunsWithOneOtherSequenceAtEveryPlace) {
  const std::string others[] = {"\xC3\xA9", "\x80", "\xE2\x82", "\xF0\x9F\x98\x80"};
  for_each_level([&](tf::simd::Level) {
    for (const std::string& other : others) {
      for (std::size_t at = 0; at < 1100; ++at) {
        std::string s(1100, 'a');
        s.replace(at, other.size(), other);
        s.resize(1100);
        ASSERT_EQ(compare_all(bytes_of(s), s.size()), "") << "at " << at << " " << hex(other);
      }
    }
  });
}

TEST(DecodeFast, AnsiEveryByteAtEveryOffset) {
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
  const std::string ascii(200, 'q');
  for_each_level([&](tf::simd::Level) {
    for (std::size_t rot = 0; rot < 256; ++rot) {
      const std::string s = all.substr(rot) + all.substr(0, rot);
      ASSERT_EQ(compare_decode(bytes_of(s), s.size(), 3), "") << rot;
      // One high byte in an ASCII stretch, at every offset.
      std::string t = ascii;
      t[rot % t.size()] = static_cast<char>(0x80 + rot % 128);
      ASSERT_EQ(compare_decode(bytes_of(t), t.size(), 3), "") << rot;
    }
  });
}

std::string unit(std::uint32_t u) {
  return {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

TEST(DecodeFast, Utf16EveryUnitInOrderAndReversed) {
  std::string forward = "\xFF\xFE", backward = "\xFF\xFE";
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    forward += unit(u);
    backward += unit(0xFFFF - u);
  }
  for_each_level([&](tf::simd::Level) {
    for (std::size_t align = 0; align < 4; ++align) {
      for (const std::string* s : {&forward, &backward}) {
        const Aligned a(*s, align);
        ASSERT_EQ(compare_decode(a.data(), a.size(), 2), "");
        ASSERT_EQ(compare_decode(a.data(), a.size() - 1, 2), "") << "odd length";
      }
    }
  });
}

TEST(DecodeFast, Utf16EveryTripleOfUnitClassesAtBlockEdges) {
  const std::uint32_t reps[] = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0x4E2D, 0xD7FF,
                                0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFEFF, 0xFFFD, 0xFFFF};
  for_each_level([&](tf::simd::Level) {
    for (const std::uint32_t a : reps) {
      for (const std::uint32_t b : reps) {
        for (const std::uint32_t c : reps) {
          for (const std::size_t at : {0, 13, 14, 15, 16, 29, 30, 31, 32, 33, 62, 63}) {
            std::string s = "\xFF\xFE";
            for (std::size_t k = 0; k < 72; ++k) {
              s += k == at ? unit(a) : k == at + 1 ? unit(b) : k == at + 2 ? unit(c) : unit('z');
            }
            ASSERT_EQ(compare_decode(bytes_of(s), s.size(), 2), "") << hex(s.substr(2 * at));
            // Cut right after the triple, with and without an odd byte.
            const std::size_t cut = 2 + 2 * (at + 3);
            ASSERT_EQ(compare_decode(bytes_of(s), cut, 2), "");
            ASSERT_EQ(compare_decode(bytes_of(s), cut - 1, 2), "");
          }
        }
      }
    }
  });
}

TEST(DecodeFast, Utf16PairsAtEveryPlaceOfTheVectors) {
  std::mt19937_64 rng(12);
  const std::uint32_t fillers[] = {'z', 0x00E9, 0x4E2D};
  for_each_level([&](tf::simd::Level) {
    for (const std::uint32_t filler : fillers) {
      for (std::size_t at = 0; at < 70; ++at) {
        for (std::size_t second = at + 2; second < 72; second += 5) {
          std::string s = "\xFF\xFE";
          for (std::size_t k = 0; k < 80; ++k) {
            if (k == at || k == second) {
              const auto hi = static_cast<std::uint32_t>(0xD800 + rng() % 0x400);
              s += unit(hi);
              s += unit(static_cast<std::uint32_t>(0xDC00 + rng() % 0x400));
              ++k;
            } else {
              s += unit(filler);
            }
          }
          ASSERT_EQ(compare_decode(bytes_of(s), s.size(), 2), "") << at << " " << second;
          ASSERT_EQ(compare_decode(bytes_of(s), 2 + 2 * (second + 1), 2), "") << "cut in a pair";
        }
      }
    }
    // Well-formed random text at every length and alignment.
    for (std::size_t units = 0; units <= 130; ++units) {
      const std::string s = "\xFF\xFE" + tf_test::random_utf16le(rng, units, true);
      for (std::size_t align = 0; align < 8; ++align) {
        const Aligned a(s, align);
        ASSERT_EQ(compare_decode(a.data(), a.size(), 2), "") << hex(s, 300);
      }
    }
  });
}

TEST(DecodeFast, LineBreakCountsEveryLengthAndAlignment) {
  std::mt19937_64 rng(5);
  const char alphabet[] = {'\r', '\n', 'x', '\r', '\n'};
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 256; ++length) {
      std::string s(length, 'x');
      for (char& c : s) c = alphabet[rng() % 5];
      std::uint64_t lf = 0, cr = 0, crlf = 0;
      for (std::size_t i = 0; i < length; ++i) {
        lf += s[i] == '\n';
        cr += s[i] == '\r';
        crlf += i > 0 && s[i - 1] == '\r' && s[i] == '\n';
      }
      for (std::size_t align = 0; align < 64; align += 7) {
        const Aligned a(s, align);
        const tf::decode::LineBreakCounts c = tf::decode::count_line_breaks(a.data(), a.size());
        ASSERT_EQ(c.lf, lf);
        ASSERT_EQ(c.cr, cr);
        ASSERT_EQ(c.crlf, crlf) << hex(s, 300);
        ASSERT_EQ(tf::decode::detect_line_ending(a.data(), a.size()), plain::line_ending(s));
      }
    }
  });
}

}  // namespace
