// Exhaustive sweeps over short inputs: every 1-, 2- and 3-byte input, and
// every 4-byte input that starts with a four-byte lead (F0-F4), for
// detection; every 1-, 2- and 3-byte input for UTF-8 decoding, both right
// after a UTF-8 mark and on its own. Each input sits in an exact-size heap
// block, so a read past its end is an ASan report.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decode/decode.hpp"
#include "decode/decode_test_util.hpp"
#include "reference/utf8_reference.hpp"
#include "support/sweep.hpp"

namespace {

using tf_test::hex;

// A sweep stops reporting (and running) after this many mismatches.
constexpr int kMaxReports = 10;

// Writes the big-endian bytes of `value` into p[0..n).
void spell(std::uint32_t value, unsigned char* p, int n) {
  for (int k = 0; k < n; ++k) p[k] = static_cast<unsigned char>(value >> (8 * (n - 1 - k)));
}

bool detection_matches(const unsigned char* p, std::size_t n, int& failures) {
  int encoding = -1, had_bom = -1;
  tf::decode::detect_encoding(p, n, &encoding, &had_bom);
  const tf_ref::Detection want = tf_ref::detect_encoding(p, n);
  if (encoding == want.encoding && had_bom == want.had_bom) return true;
  ADD_FAILURE() << "input " << hex(p, n) << ": encoding " << encoding << " had_bom " << had_bom
                << ", expected " << want.encoding << " " << want.had_bom;
  return ++failures < kMaxReports;
}

TEST(DetectSweep, EveryInputOfOneTwoAndThreeBytes) {
  int failures = 0;
  for (int n = 1; n <= 3; ++n) {
    std::vector<unsigned char> zeros(static_cast<std::size_t>(n), 0);
    tf_test::ExactCopy exact(zeros);
    unsigned char* p = exact.data();
    const std::uint32_t count = 1u << (8 * n);
    const std::uint32_t step = n == 3 ? tf_test::kSweepStride : 1;
    for (std::uint32_t v = 0; v < count; v += step) {
      spell(v, p, n);
      if (!detection_matches(p, static_cast<std::size_t>(n), failures)) return;
    }
  }
}

TEST(DetectSweep, EveryFourByteInputWithAFourByteLead) {
  int failures = 0;
  std::vector<unsigned char> zeros(4, 0);
  tf_test::ExactCopy exact(zeros);
  unsigned char* p = exact.data();
  for (unsigned lead = 0xF0; lead <= 0xF4; ++lead) {
    p[0] = static_cast<unsigned char>(lead);
    for (std::uint32_t v = lead % tf_test::kSweepStride; v < (1u << 24);
         v += tf_test::kSweepStride) {
      spell(v, p + 1, 3);
      if (!detection_matches(p, 4, failures)) return;
    }
  }
}

TEST(DetectSweep, SpotChecksOfTheReferenceItself) {
  // The reference must agree with the documented classes, or the sweeps
  // above prove nothing.
  struct {
    std::vector<unsigned char> bytes;
    bool well_formed;
  } const cases[] = {
      {{0x00}, true},
      {{0x7F}, true},
      {{0x80}, false},
      {{0xC0, 0x80}, false},
      {{0xC1, 0xBF}, false},
      {{0xC2, 0x80}, true},
      {{0xDF, 0xBF}, true},
      {{0xE0, 0x9F, 0xBF}, false},
      {{0xE0, 0xA0, 0x80}, true},
      {{0xED, 0x9F, 0xBF}, true},
      {{0xED, 0xA0, 0x80}, false},
      {{0xEE, 0x80, 0x80}, true},
      {{0xF0, 0x8F, 0xBF, 0xBF}, false},
      {{0xF0, 0x90, 0x80, 0x80}, true},
      {{0xF4, 0x8F, 0xBF, 0xBF}, true},
      {{0xF4, 0x90, 0x80, 0x80}, false},
      {{0xF5, 0x80, 0x80, 0x80}, false},
      {{0xF8, 0x88, 0x80, 0x80, 0x80}, false},
      {{0xE2, 0x82}, false},
      {{0xFF}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.bytes));
    EXPECT_EQ(tf_ref::is_well_formed(c.bytes), c.well_formed);
  }
}

// Reports a decode that breaks any rule; false once too many were reported.
class DecodeChecker {
 public:
  // Decodes `input` with the reference decoder for the checks that follow.
  void expect(const unsigned char* input, std::size_t n) {
    tf_ref::decode_utf8(input, n, 0, want_);
  }

  bool check(const char* route, const unsigned char* input, std::size_t n, int rc,
             const tf::decode::DecodedText& got) {
    const std::string problem = tf_test::utf8_decode_problem(input, n, 0, rc, got, want_);
    if (problem.empty()) return true;
    ADD_FAILURE() << route << ": " << problem;
    return ++failures_ < kMaxReports;
  }

 private:
  tf_ref::Decoded want_;
  int failures_ = 0;
};

TEST(DecodeUtf8Sweep, EveryInputOfOneTwoAndThreeBytes) {
  DecodeChecker checker;
  for (int n = 1; n <= 3; ++n) {
    const std::size_t size = static_cast<std::size_t>(n);
    // Exact-size blocks: the input alone, and the input after EF BB BF.
    std::vector<unsigned char> zeros(size, 0);
    tf_test::ExactCopy plain(zeros);
    std::vector<unsigned char> marked_bytes = {0xEF, 0xBB, 0xBF};
    marked_bytes.resize(3 + size, 0);
    tf_test::ExactCopy marked(marked_bytes);
    const std::uint32_t count = 1u << (8 * n);
    const std::uint32_t step = n == 3 ? tf_test::kSweepStride : 1;
    for (std::uint32_t v = 0; v < count; v += step) {
      spell(v, plain.data(), n);
      spell(v, marked.data() + 3, n);
      checker.expect(plain.data(), size);

      tf::decode::DecodedText direct;
      direct.sanitized = 7;
      const int rc_direct = tf::decode::decode_utf8(plain.data(), size, 0, direct);
      if (!checker.check("decode_utf8", plain.data(), size, rc_direct, direct)) return;

      tf::decode::DecodedText after_mark;
      after_mark.sanitized = 7;
      const int rc_mark = tf::decode::decode_to_utf8(marked.data(), 3 + size, 1, after_mark);
      if (!checker.check("after EF BB BF", plain.data(), size, rc_mark, after_mark)) return;
    }
  }
}

// The four-byte classes: every lead F0-F4 with every second byte, and third
// and fourth bytes from both sides of every class boundary.
TEST(DecodeUtf8Sweep, FourByteLeadsWithBoundaryContinuations) {
  static const unsigned char kEdges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90,
                                         0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  DecodeChecker checker;
  std::vector<unsigned char> zeros(4, 0);
  tf_test::ExactCopy plain(zeros);
  unsigned char* p = plain.data();
  for (unsigned lead = 0xF0; lead <= 0xF4; ++lead) {
    for (unsigned b1 = 0; b1 < 256; ++b1) {
      for (unsigned char b2 : kEdges) {
        for (unsigned char b3 : kEdges) {
          p[0] = static_cast<unsigned char>(lead);
          p[1] = static_cast<unsigned char>(b1);
          p[2] = b2;
          p[3] = b3;
          checker.expect(p, 4);
          tf::decode::DecodedText out;
          const int rc = tf::decode::decode_utf8(p, 4, 0, out);
          if (!checker.check("decode_utf8", p, 4, rc, out)) return;
        }
      }
    }
  }
}

}  // namespace
