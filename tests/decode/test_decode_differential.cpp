// Differential tests of detection and of every decoder against the plain
// reference in tests/reference, on seeded random texts with bit flips and
// truncations, at every length 0..256 and every offset 0..15 from a 16-byte
// boundary. The UTF-8 decoder copies well-formed runs in bulk and skips ASCII
// eight bytes at a time, so lengths and offsets around those words matter.
// Every input is an exact-size heap block: ASan reports any read past it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decode/decode.hpp"
#include "decode/decode_test_util.hpp"
#include "reference/utf8_reference.hpp"

namespace {

using tf::decode::DecodedText;
using tf_ref::Bytes;
using tf_test::ExactCopy;
using tf_test::hex;

constexpr int kMaxReports = 10;

// A code point drawn with the given share of ASCII; the rest spread over the
// 2-, 3- and 4-byte forms, with the class edges and the characters that have
// a meaning here (U+FEFF, U+FFFD, NUL, CR, LF) drawn often.
std::uint32_t random_code_point(std::mt19937_64& rng, int ascii_percent) {
  static const std::uint32_t kNotable[] = {0x00,   0x0A,   0x0D,    0x7F,    0x80,
                                           0x7FF,  0x800,  0xD7FF,  0xE000,  0xFEFF,
                                           0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
  const int pick = static_cast<int>(rng() % 100);
  if (pick < ascii_percent) return static_cast<std::uint32_t>(rng() % 0x80);
  switch (rng() % 5) {
    case 0:
      return kNotable[rng() % (sizeof kNotable / sizeof kNotable[0])];
    case 1:
      return 0x80 + static_cast<std::uint32_t>(rng() % (0x800 - 0x80));
    case 2: {
      std::uint32_t cp;
      do {
        cp = 0x800 + static_cast<std::uint32_t>(rng() % (0x10000 - 0x800));
      } while (cp >= 0xD800 && cp <= 0xDFFF);
      return cp;
    }
    default:
      return 0x10000 + static_cast<std::uint32_t>(rng() % (0x110000 - 0x10000));
  }
}

// Well-formed UTF-8 of at least n bytes.
Bytes random_text(std::mt19937_64& rng, std::size_t n, int ascii_percent) {
  Bytes out;
  while (out.size() < n) tf_ref::append_utf8(out, random_code_point(rng, ascii_percent));
  return out;
}

// Kinds of damage done to a random text before it is cut to its length.
enum Damage { kNone, kOneFlip, kSomeFlips, kCuts, kRandomBytes, kDamageCount };

const char* damage_name(int d) {
  static const char* const kNames[] = {"none", "one bit flip", "bit flips", "cuts", "random bytes"};
  return kNames[d];
}

Bytes damaged_text(std::mt19937_64& rng, std::size_t n, int damage) {
  const int ascii_percent = rng() % 2 == 0 ? 97 : 50;
  Bytes text = random_text(rng, n + 8, ascii_percent);
  switch (damage) {
    case kOneFlip:
      text[rng() % text.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
      break;
    case kSomeFlips:
      for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k) {
        text[rng() % text.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
      }
      break;
    case kCuts:
      // Cuts through the middle of sequences: remove one to three bytes at a
      // few random places.
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0 && text.size() > 4; --k) {
        const std::size_t at = rng() % (text.size() - 3);
        text.erase(text.begin() + static_cast<std::ptrdiff_t>(at),
                   text.begin() + static_cast<std::ptrdiff_t>(at + 1 + rng() % 3));
      }
      while (text.size() < n) tf_ref::append_utf8(text, random_code_point(rng, ascii_percent));
      break;
    case kRandomBytes:
      for (unsigned char& b : text) b = static_cast<unsigned char>(rng());
      break;
    default:
      break;
  }
  text.resize(n);  // the final truncation, often in the middle of a sequence
  return text;
}

// Compares detection and every decoder with the reference on one input;
// returns false once too many failures have been reported.
class Differential {
 public:
  bool run(const Bytes& input, std::size_t align, std::mt19937_64& rng) {
    ExactCopy copy(input, align);
    const unsigned char* p = copy.data();
    const std::size_t n = copy.size();
    std::string problem;

    int encoding = -1, had_bom = -1;
    tf::decode::detect_encoding(p, n, &encoding, &had_bom);
    const tf_ref::Detection detected = tf_ref::detect_encoding(p, n);
    if (encoding != detected.encoding || had_bom != detected.had_bom) {
      problem = "detect_encoding gives " + std::to_string(encoding) + "/" +
                std::to_string(had_bom) + ", reference " + std::to_string(detected.encoding) + "/" +
                std::to_string(detected.had_bom);
    }

    for (std::size_t start : {std::size_t{0}, static_cast<std::size_t>(rng() % (n + 2))}) {
      if (!problem.empty()) break;
      DecodedText out;
      out.sanitized = 7;
      const int rc = tf::decode::decode_utf8(p, n, start, out);
      problem = tf_test::utf8_decode_problem(p, n, start, rc, out);
    }

    for (int enc = 0; enc <= 3 && problem.empty(); ++enc) {
      DecodedText out;
      out.sanitized = 7;
      const int rc = tf::decode::decode_to_utf8(p, n, enc, out);
      tf_ref::Decoded want;
      if (enc == 0) want = tf_ref::decode_utf8(p, n, 0);
      if (enc == 1) want = tf_ref::decode_utf8(p, n, n >= 3 ? 3 : 0);
      if (enc == 2) want = tf_ref::decode_utf16le(p, n);
      if (enc == 3) want.text = tf_ref::decode_ansi(p, n);
      if (rc != 0 || out.text == nullptr || tf_test::text_of(out) != want.text ||
          out.text[out.text_length] != 0 || out.sanitized != want.sanitized) {
        problem = "decode_to_utf8 with encoding " + std::to_string(enc) + " gives rc " +
                  std::to_string(rc) + " text " +
                  (out.text ? hex(tf_test::text_of(out)) : std::string("(null)")) + " sanitized " +
                  std::to_string(out.sanitized) + "; reference " + hex(want.text) + " sanitized " +
                  std::to_string(want.sanitized);
      }
    }

    if (problem.empty()) return true;
    ADD_FAILURE() << "input " << hex(input) << " at offset " << align << ": " << problem;
    return ++failures_ < kMaxReports;
  }

 private:
  int failures_ = 0;
};

TEST(DecodeDifferential, RandomTextsAtEveryLengthAndOffset) {
  std::mt19937_64 rng(20240611);
  Differential differential;
  for (std::size_t n = 0; n <= 256; ++n) {
    for (std::size_t align = 0; align < 16; ++align) {
      for (int damage = kNone; damage < kDamageCount; ++damage) {
        SCOPED_TRACE(std::string("damage: ") + damage_name(damage));
        if (!differential.run(damaged_text(rng, n, damage), align, rng)) return;
      }
    }
  }
}

TEST(DecodeDifferential, LongerTextsAcrossGrowthSteps) {
  // Texts that take the output block through several doublings.
  std::mt19937_64 rng(77);
  Differential differential;
  for (std::size_t n : {255u, 256u, 511u, 512u, 1023u, 1500u, 4096u, 10000u}) {
    for (int damage = kNone; damage < kDamageCount; ++damage) {
      SCOPED_TRACE(std::string("damage: ") + damage_name(damage) + ", length " + std::to_string(n));
      if (!differential.run(damaged_text(rng, n, damage), rng() % 16, rng)) return;
    }
  }
}

// One byte of every value at every position of an ASCII run, at two offsets:
// the eight-byte ASCII skip must stop exactly at the first byte that is not
// ASCII, wherever it sits in a word, and never read past the end.
TEST(DecodeDifferential, OneByteOfEveryValueInsideAsciiRuns) {
  std::mt19937_64 rng(5);
  Differential differential;
  for (std::size_t n = 1; n <= 24; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (unsigned b = 0; b < 256; ++b) {
        Bytes input(n, 'a');
        input[at] = static_cast<unsigned char>(b);
        if (!differential.run(input, (n + at) % 2 == 0 ? 0 : 3, rng)) return;
      }
    }
  }
}

// A well-formed multi-byte character, and a cut-off one, at every position
// of an ASCII run.
TEST(DecodeDifferential, MultiByteCharactersInsideAsciiRuns) {
  const Bytes pieces[] = {{0xC3, 0xA9},
                          {0xE2, 0x82, 0xAC},
                          {0xF0, 0x9F, 0x98, 0x80},
                          {0xEF, 0xBF, 0xBD},
                          {0xE2, 0x82},
                          {0xF0, 0x9F, 0x98},
                          {0xC3},
                          {0xED, 0xA0, 0x80},
                          {0xF4, 0x90, 0x80, 0x80}};
  std::mt19937_64 rng(6);
  Differential differential;
  for (const Bytes& piece : pieces) {
    for (std::size_t n = 0; n <= 20; ++n) {
      for (std::size_t at = 0; at <= n; ++at) {
        Bytes input(n, 'z');
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(), piece.end());
        for (std::size_t align : {0u, 1u, 7u}) {
          if (!differential.run(input, align, rng)) return;
        }
      }
    }
  }
}

}  // namespace
