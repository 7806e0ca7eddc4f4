// The vector versions of the "utf16le" save conversion, each dispatch level
// in turn, against the byte-at-a-time reference: every lead byte with every
// two following bytes at every offset of the vector blocks, every four-byte
// sequence over byte-class representatives, random texts with bit flips at
// every length up to 256 and every alignment, and long texts. Output bytes
// must agree, and the block counted beforehand must fit them exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/text_gen.hpp"
#include "reference/utf16le_reference.hpp"
#include "save/encode_utf16le.hpp"
#include "support/simd_levels.hpp"

namespace {

using tf_test::for_each_level;
using tf_test::hex;

std::string compare(const unsigned char* p, std::size_t n) {
  tf::save::Utf16Output out;
  if (!tf::save::encode_utf16le(p, n, out)) return "out of memory";
  const tf_ref::Utf16leResult want =
      tf_ref::utf16le_encode(std::string_view(reinterpret_cast<const char*>(p), n));
  const std::string got(reinterpret_cast<const char*>(out.bytes.get()), out.size);
  if (got != want.bytes) {
    std::size_t k = 0;
    while (k < got.size() && k < want.bytes.size() && got[k] == want.bytes[k]) ++k;
    return "bytes differ at " + std::to_string(k) + ": " + hex(got.substr(k, 16)) + " want " +
           hex(want.bytes.substr(k, 16));
  }
  if (out.capacity != want.bytes.size() + tf::save::kStoreSlack) {
    return "capacity " + std::to_string(out.capacity);
  }
  return "";
}

std::string compare(std::string_view s) {
  // An exact-size copy, so that a read past the end is caught by ASan.
  std::vector<unsigned char> copy(s.begin(), s.end());
  return compare(copy.data(), copy.size());
}

// Each part followed by one to five ASCII bytes, so that the parts fall at
// every offset of the vector blocks.
std::string concatenate(const std::vector<std::string>& parts) {
  std::string s;
  std::size_t k = 0;
  for (const std::string& part : parts) {
    s += part;
    s.append(1 + k++ % 5, 'x');
  }
  return s;
}

TEST(EncodeFast, EveryLeadWithEveryTwoFollowingBytes) {
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    std::vector<std::string> parts;
    for (int b1 = 0; b1 < 256; ++b1) {
      for (int b2 = 0; b2 < 256; b2 += (lead < 0xC0 ? 51 : 1)) {
        parts.push_back({static_cast<char>(lead), static_cast<char>(b1), static_cast<char>(b2)});
      }
    }
    const std::string s = concatenate(parts);
    for_each_level([&](tf::simd::Level) { ASSERT_EQ(compare(s), "") << "lead " << lead; });
    if (HasFatalFailure()) return;
  }
}

TEST(EncodeFast, EveryFourByteSequenceOverByteClassRepresentatives) {
  const unsigned char reps[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0xBF, 0xC0, 0xC2, 0xDF,
                                0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF7, 0xF8, 0xFF};
  std::vector<std::string> parts;
  for (const unsigned char a : reps) {
    for (const unsigned char b : reps) {
      for (const unsigned char c : reps) {
        for (const unsigned char d : reps) {
          parts.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                           static_cast<char>(d)});
        }
      }
    }
  }
  const std::string s = concatenate(parts);
  for_each_level([&](tf::simd::Level) { ASSERT_EQ(compare(s), ""); });
}

TEST(EncodeFast, RandomTextsWithBitFlipsAtEveryLengthAndAlignment) {
  std::mt19937_64 rng(99);
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 256; ++length) {
      for (std::size_t align = 0; align < 64; align += 3) {
        std::string s = tf_test::random_utf8(rng, length);
        s.resize(length);
        tf_test::flip_bits(rng, s, static_cast<int>(rng() % 3));
        std::vector<unsigned char> storage(length + align + 64);
        const auto base = reinterpret_cast<std::uintptr_t>(storage.data());
        unsigned char* p = storage.data() + (64 - base % 64) % 64 + align;
        if (length != 0) std::memcpy(p, s.data(), length);
        ASSERT_EQ(compare(p, length), "") << "align " << align << ": " << hex(s, 300);
      }
    }
  });
}

TEST(EncodeFast, AllAsciiTextsAtEveryLength) {
  for_each_level([&](tf::simd::Level) {
    for (std::size_t length = 0; length <= 300; ++length) {
      ASSERT_EQ(compare(std::string(length, 'a')), "") << length;
      std::string t(length, 'b');
      if (length > 0) t.back() = static_cast<char>(0xC3);  // a cut-off lead last
      ASSERT_EQ(compare(t), "") << length;
    }
  });
}

TEST(EncodeFast, LongTexts) {
  std::mt19937_64 rng(5);
  for (int round = 0; round < 4; ++round) {
    std::string s = tf_test::random_utf8(rng, 200000);
    if (round >= 2) tf_test::flip_bits(rng, s, 100);
    for_each_level([&](tf::simd::Level) { ASSERT_EQ(compare(s), "") << round; });
  }
}

}  // namespace
