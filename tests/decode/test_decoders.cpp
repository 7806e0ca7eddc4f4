// Decoder properties over inputs built on purpose.
#include <gtest/gtest.h>

#include "decode/decode.hpp"

namespace {

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

}  // namespace
