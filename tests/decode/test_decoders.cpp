// Decoder properties over inputs built on purpose: the ansi mapping of every
// byte, the choice of decoder by encoding code, and the empty results.
#include <gtest/gtest.h>

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

TEST(DecodeAnsi, EveryByteMapsToItsCodePoint) {
  unsigned char all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  tf::decode::DecodedText out;
  ASSERT_EQ(tf::decode::decode_ansi(all, 256, out), 0);
  ASSERT_EQ(out.text_length, 128u + 2u * 128u);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(out.text[i], i);
  for (int i = 128; i < 256; ++i) {
    const unsigned char* p = out.text.get() + 128 + 2 * (i - 128);
    EXPECT_EQ(p[0], 0xC0 | (i >> 6));
    EXPECT_EQ(p[1], 0x80 | (i & 0x3F));
  }
}

TEST(DecodeAnsi, EachByteAloneUnderEveryAnsiCode) {
  // Every code other than 0, 1 and 2 selects ansi.
  for (int encoding : {3, 4, 7, -1, 255}) {
    for (unsigned b = 0; b < 256; ++b) {
      SCOPED_TRACE("encoding " + std::to_string(encoding) + ", byte " + std::to_string(b));
      const unsigned char byte = static_cast<unsigned char>(b);
      ExactCopy input(&byte, 1);
      DecodedText out;
      out.sanitized = 7;
      ASSERT_EQ(tf::decode::decode_to_utf8(input.data(), 1, encoding, out), 0);
      const Bytes expected = b < 0x80 ? Bytes{byte}
                                      : Bytes{static_cast<unsigned char>(b < 0xC0 ? 0xC2 : 0xC3),
                                              static_cast<unsigned char>(0x80 | (b & 0x3F))};
      EXPECT_EQ(hex(tf_test::text_of(out)), hex(expected));
      EXPECT_EQ(hex(tf_test::text_of(out)), hex(tf_ref::decode_ansi(&byte, 1)));
      EXPECT_EQ(out.text[out.text_length], 0);
      EXPECT_EQ(out.sanitized, 0);
    }
  }
}

TEST(DecodeAnsi, LeavesSanitizedAlone) {
  const unsigned char bytes[] = {0xFF, 0x41};
  DecodedText out;
  out.sanitized = 5;
  ASSERT_EQ(tf::decode::decode_ansi(bytes, 2, out), 0);
  EXPECT_EQ(out.sanitized, 5);
  EXPECT_EQ(hex(tf_test::text_of(out)), "C3 BF 41");
}

TEST(DecodeAnsi, RandomBuffersAgainstTheReference) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 2000; ++round) {
    Bytes bytes(rng() % 700);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
    ExactCopy input(bytes, rng() % 16);
    DecodedText out;
    ASSERT_EQ(tf::decode::decode_to_utf8(input.data(), input.size(), 3, out), 0) << hex(bytes);
    ASSERT_NE(out.text, nullptr);
    EXPECT_EQ(out.text[out.text_length], 0);
    const Bytes expected = tf_ref::decode_ansi(bytes.data(), bytes.size());
    ASSERT_TRUE(tf_test::text_of(out) == expected)
        << "input " << hex(bytes) << " gives " << hex(tf_test::text_of(out));
    EXPECT_TRUE(tf_ref::is_well_formed(out.text.get(), out.text_length));
    EXPECT_EQ(out.sanitized, 0);
  }
}

TEST(DecodeToUtf8, EmptyInputGivesAOneByteTextForEveryEncoding) {
  static const unsigned char kNothing[1] = {0x41};
  for (int encoding : {0, 1, 2, 3, 9}) {
    for (const unsigned char* bytes : {static_cast<const unsigned char*>(nullptr), kNothing}) {
      SCOPED_TRACE("encoding " + std::to_string(encoding) + (bytes ? "" : ", null bytes"));
      DecodedText out;
      out.sanitized = 7;
      ASSERT_EQ(tf::decode::decode_to_utf8(bytes, 0, encoding, out), 0);
      ASSERT_NE(out.text, nullptr);
      EXPECT_EQ(out.text[0], 0);
      EXPECT_EQ(out.text_length, 0u);
      EXPECT_EQ(out.sanitized, 0);
    }
  }
}

TEST(DecodeToUtf8, NullBytesWithALengthFailForEveryEncoding) {
  for (int encoding : {0, 1, 2, 3, 9}) {
    SCOPED_TRACE(encoding);
    DecodedText out;
    out.sanitized = 7;
    EXPECT_EQ(tf::decode::decode_to_utf8(nullptr, 1, encoding, out), -1);
    EXPECT_EQ(out.text, nullptr);
    EXPECT_EQ(out.text_length, 0u);
  }
}

TEST(DecodeToUtf8, MarkCodeSkipsThreeBytesOnlyWhenThereAreThree) {
  // The skipped bytes are not looked at: the caller passes the detected code.
  struct {
    Bytes input;
    Bytes text;
    int sanitized;
  } const cases[] = {
      {{0x41, 0x42, 0x43, 0x44}, {0x44}, 0},
      {{0xFF, 0xFF, 0xFF}, {}, 0},
      {{0xEF, 0xBB}, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}, 1},
      {{0xC3, 0xA9}, {0xC3, 0xA9}, 0},
      {{0x41}, {0x41}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.input));
    ExactCopy input(c.input);
    DecodedText out;
    ASSERT_EQ(tf::decode::decode_to_utf8(input.data(), input.size(), 1, out), 0);
    EXPECT_EQ(hex(tf_test::text_of(out)), hex(c.text));
    EXPECT_EQ(out.sanitized, c.sanitized);
  }
}

TEST(DecodeUtf8, StartAtOrPastTheEndGivesAnEmptyText) {
  const unsigned char bytes[] = {0xFF, 0x41, 0xFF};
  for (std::uint64_t start : {3u, 4u, 1000u}) {
    SCOPED_TRACE(start);
    DecodedText out;
    out.sanitized = 7;
    ASSERT_EQ(tf::decode::decode_utf8(bytes, 3, start, out), 0);
    ASSERT_NE(out.text, nullptr);
    EXPECT_EQ(out.text[0], 0);
    EXPECT_EQ(out.text_length, 0u);
    EXPECT_EQ(out.sanitized, 0);
  }
}

TEST(DecodeUtf8, NulBytesAreText) {
  const unsigned char bytes[] = {0x00, 0x41, 0x00, 0x00, 0xC3, 0xA9, 0x00};
  ExactCopy input(bytes, sizeof bytes);
  DecodedText out;
  ASSERT_EQ(tf::decode::decode_utf8(input.data(), input.size(), 0, out), 0);
  EXPECT_EQ(hex(tf_test::text_of(out)), hex(bytes, sizeof bytes));
  EXPECT_EQ(out.sanitized, 0);
}

}  // namespace
