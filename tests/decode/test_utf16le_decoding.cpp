// UTF-16LE decoding: every single unit, every high/low surrogate pair, every
// pairing of unit classes, odd lengths, and random buffers, against the plain
// reference decoder and against the rules written out per case. Every input
// is an exact-size heap block.
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

bool is_high(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// FF FE followed by the units, low byte first, then the extra bytes.
Bytes utf16_input(const std::vector<std::uint32_t>& units, const Bytes& tail = {}) {
  Bytes out = {0xFF, 0xFE};
  for (std::uint32_t u : units) {
    out.push_back(static_cast<unsigned char>(u & 0xFF));
    out.push_back(static_cast<unsigned char>(u >> 8));
  }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes utf8_of(std::initializer_list<std::uint32_t> code_points) {
  Bytes out;
  for (std::uint32_t cp : code_points) tf_ref::append_utf8(out, cp);
  return out;
}

// Decodes `input` through decode_to_utf8 (encoding 2) and decode_utf16le, and
// compares both with `text` and `sanitized`. False once too many failures
// were reported.
class Utf16Checker {
 public:
  bool check(const Bytes& input, const Bytes& text, int sanitized, std::size_t align = 0) {
    ExactCopy copy(input, align);
    for (int route = 0; route < 2; ++route) {
      DecodedText out;
      out.sanitized = 7;
      const int rc = route == 0 ? tf::decode::decode_to_utf8(copy.data(), copy.size(), 2, out)
                                : tf::decode::decode_utf16le(copy.data(), copy.size(), out);
      if (rc == 0 && out.text != nullptr && out.text[out.text_length] == 0 &&
          tf_test::text_of(out) == text && out.sanitized == sanitized) {
        continue;
      }
      ADD_FAILURE() << (route == 0 ? "decode_to_utf8" : "decode_utf16le") << " of " << hex(input)
                    << ": rc " << rc << " text "
                    << (out.text ? hex(tf_test::text_of(out)) : std::string("(null)"))
                    << " sanitized " << out.sanitized << "; expected " << hex(text) << " sanitized "
                    << sanitized;
      return ++failures_ < kMaxReports;
    }
    return true;
  }

  // Against the reference decoder, which must itself produce well-formed text.
  bool check_reference(const Bytes& input, std::size_t align = 0) {
    const tf_ref::Decoded want = tf_ref::decode_utf16le(input.data(), input.size());
    if (!tf_ref::is_well_formed(want.text)) {
      ADD_FAILURE() << "reference output for " << hex(input) << " is not well-formed";
      return ++failures_ < kMaxReports;
    }
    return check(input, want.text, want.sanitized, align);
  }

 private:
  int failures_ = 0;
};

TEST(DecodeUtf16le, EveryLoneUnit) {
  Utf16Checker checker;
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    const bool surrogate = is_high(u) || is_low(u);
    const Bytes expected = utf8_of({surrogate ? 0xFFFDu : u});
    if (!checker.check(utf16_input({u}), expected, surrogate ? 1 : 0)) return;
  }
}

TEST(DecodeUtf16le, EveryHighLowPair) {
  Utf16Checker checker;
  for (std::uint32_t high = 0xD800; high <= 0xDBFF; ++high) {
    for (std::uint32_t low = 0xDC00; low <= 0xDFFF; ++low) {
      const std::uint32_t cp = 0x10000 + (((high & 0x3FF) << 10) | (low & 0x3FF));
      if (!checker.check(utf16_input({high, low}), utf8_of({cp}), 0)) return;
    }
  }
}

// Representatives of the three unit classes: both ends of each surrogate
// range and one inside, and ordinary units at the edges of every UTF-8
// length, with 0000, FEFF and FFFD among them.
const std::uint32_t kHighs[] = {0xD800, 0xDA3C, 0xDBFF};
const std::uint32_t kLows[] = {0xDC00, 0xDE00, 0xDFFF};
const std::uint32_t kOthers[] = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800,
                                 0xD7FF, 0xE000, 0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF};

std::vector<std::uint32_t> representatives() {
  std::vector<std::uint32_t> all;
  for (std::uint32_t u : kHighs) all.push_back(u);
  for (std::uint32_t u : kLows) all.push_back(u);
  for (std::uint32_t u : kOthers) all.push_back(u);
  return all;
}

// The text of one unit decoded on its own.
std::uint32_t alone(std::uint32_t u) { return is_high(u) || is_low(u) ? 0xFFFD : u; }

TEST(DecodeUtf16le, EveryPairingOfUnitClasses) {
  Utf16Checker checker;
  const std::vector<std::uint32_t> units = representatives();
  for (std::uint32_t u : units) {
    for (std::uint32_t v : units) {
      Bytes expected;
      int sanitized;
      if (is_high(u) && is_low(v)) {
        expected = utf8_of({0x10000 + (u - 0xD800) * 0x400 + (v - 0xDC00)});
        sanitized = 0;
      } else {
        // u stands alone (an unpaired surrogate is U+FFFD) and v is decoded
        // on its own by the next step.
        expected = utf8_of({alone(u), alone(v)});
        sanitized = (alone(u) != u || alone(v) != v) ? 1 : 0;
      }
      if (!checker.check(utf16_input({u, v}), expected, sanitized)) return;
    }
  }
}

TEST(DecodeUtf16le, EveryTripleOfRepresentativeUnits) {
  Utf16Checker checker;
  const std::vector<std::uint32_t> units = representatives();
  for (std::uint32_t u : units) {
    for (std::uint32_t v : units) {
      for (std::uint32_t w : units) {
        if (!checker.check_reference(utf16_input({u, v, w}))) return;
      }
    }
  }
}

TEST(DecodeUtf16le, OddLengths) {
  Utf16Checker checker;
  const Bytes odd_bytes[] = {{0x00}, {0x41}, {0xD8}, {0xDC}, {0xFF}};
  // Length 3: whatever the one byte after the mark, one U+FFFD.
  for (unsigned b = 0; b < 256; ++b) {
    if (!checker.check({0xFF, 0xFE, static_cast<unsigned char>(b)}, utf8_of({0xFFFD}), 1)) {
      return;
    }
  }
  // Length 5: one unit, then the odd byte, which is one more U+FFFD; a high
  // surrogate followed only by that byte gives two.
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    for (const Bytes& tail : odd_bytes) {
      if (!checker.check(utf16_input({u}, tail), utf8_of({alone(u), 0xFFFD}), 1)) return;
    }
  }
  // Length 7: two units, then the odd byte.
  const std::vector<std::uint32_t> units = representatives();
  for (std::uint32_t u : units) {
    for (std::uint32_t v : units) {
      for (const Bytes& tail : odd_bytes) {
        Bytes expected;
        if (is_high(u) && is_low(v)) {
          expected = utf8_of({0x10000 + (u - 0xD800) * 0x400 + (v - 0xDC00), 0xFFFD});
        } else {
          expected = utf8_of({alone(u), alone(v), 0xFFFD});
        }
        if (!checker.check(utf16_input({u, v}, tail), expected, 1)) return;
        if (!checker.check_reference(utf16_input({u, v}, tail))) return;
      }
    }
  }
}

TEST(DecodeUtf16le, ShortInputsAndAnUnexaminedMark) {
  Utf16Checker checker;
  checker.check({}, {}, 0);
  checker.check({0xFF}, {}, 0);
  checker.check({0x41}, {}, 0);
  checker.check({0xFF, 0xFE}, {}, 0);
  checker.check({0x00, 0xD8}, {}, 0);  // two bytes: nothing after the mark
  // The first two bytes are skipped whatever they are.
  checker.check({0x41, 0x42, 0x43, 0x00}, {0x43}, 0);
  checker.check({0x00, 0xDC, 0x00, 0xDC}, utf8_of({0xFFFD}), 1);
  // A high surrogate at the very end, with no whole unit after it.
  checker.check(utf16_input({0x41, 0xD800}), utf8_of({0x41, 0xFFFD}), 1);
  // A second mark stays in the text as U+FEFF; NUL units are text.
  checker.check(utf16_input({0xFEFF, 0x0000, 0x0041}), {0xEF, 0xBB, 0xBF, 0x00, 0x41}, 0);
}

TEST(DecodeUtf16le, RandomBuffersAgainstTheReference) {
  std::mt19937_64 rng(1606);
  Utf16Checker checker;
  for (int round = 0; round < 20000; ++round) {
    const std::size_t units = rng() % 40;
    std::vector<std::uint32_t> u;
    for (std::size_t k = 0; k < units; ++k) {
      switch (rng() % 4) {
        case 0:
          u.push_back(0xD800 + static_cast<std::uint32_t>(rng() % 0x400));
          break;
        case 1:
          u.push_back(0xDC00 + static_cast<std::uint32_t>(rng() % 0x400));
          break;
        case 2:
          u.push_back(static_cast<std::uint32_t>(rng() % 0x80));
          break;
        default:
          u.push_back(static_cast<std::uint32_t>(rng() % 0x10000));
          break;
      }
    }
    Bytes tail;
    if (rng() % 3 == 0) tail.push_back(static_cast<unsigned char>(rng()));
    Bytes input = utf16_input(u, tail);
    if (rng() % 8 == 0) input[0] = static_cast<unsigned char>(rng());  // mark not examined
    if (!checker.check_reference(input, rng() % 16)) return;
  }
}

}  // namespace
