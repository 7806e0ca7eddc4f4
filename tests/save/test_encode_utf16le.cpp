// The UTF-16LE conversion against the byte-at-a-time reference: every input
// of one, two and three bytes, every byte inside ASCII runs of every length,
// random texts, the exact size of the block and the out-of-memory path.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "reference/utf16le_reference.hpp"
#include "save/encode_utf16le.hpp"

namespace {

using tf::save::encode_utf16le;
using tf::save::Utf16Output;

// Encodes `length` bytes at `text`; the bytes and capacity, or "OOM".
struct Encoded {
  bool ok;
  std::string bytes;
  std::size_t capacity;
};

Encoded encode(const unsigned char* text, std::size_t length) {
  Utf16Output out;
  const bool ok = encode_utf16le(text, length, out);
  if (!ok) return {false, {}, 0};
  return {true, std::string(reinterpret_cast<const char*>(out.bytes.get()), out.size),
          out.capacity};
}

// Compares with the reference through an exact-size heap copy, so that a
// read past the end is caught by AddressSanitizer.
::testing::AssertionResult matches_reference(std::string_view text) {
  auto* copy = static_cast<unsigned char*>(std::malloc(text.empty() ? 1 : text.size()));
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  const Encoded got = encode(copy, text.size());
  std::free(copy);
  const tf_ref::Utf16leResult want = tf_ref::utf16le_encode(text);
  if (!got.ok) return ::testing::AssertionFailure() << "out of memory";
  if (got.bytes != want.bytes) {
    return ::testing::AssertionFailure()
           << "bytes differ for " << ::testing::PrintToString(std::string(text));
  }
  if (got.capacity != want.bytes.size() + tf::save::kStoreSlack) {
    return ::testing::AssertionFailure()
           << "capacity " << got.capacity << " for " << want.bytes.size() << " bytes";
  }
  return ::testing::AssertionSuccess();
}

TEST(EncodeUtf16le, EveryInputOfOneAndTwoBytes) {
  for (int a = 0; a < 256; ++a) {
    const char one[] = {static_cast<char>(a)};
    ASSERT_TRUE(matches_reference(std::string_view(one, 1)));
    for (int b = 0; b < 256; ++b) {
      const char two[] = {static_cast<char>(a), static_cast<char>(b)};
      ASSERT_TRUE(matches_reference(std::string_view(two, 2)));
    }
  }
}

TEST(EncodeUtf16le, EveryInputOfThreeBytes) {
  // One exact-size block, reused: a read past its end is still caught.
  auto* block = static_cast<unsigned char*>(std::malloc(3));
  ASSERT_NE(block, nullptr);
  std::uint64_t mismatches = 0;
  for (std::uint32_t v = 0; v < (1u << 24); ++v) {
    block[0] = static_cast<unsigned char>(v >> 16);
    block[1] = static_cast<unsigned char>(v >> 8);
    block[2] = static_cast<unsigned char>(v);
    Utf16Output out;
    ASSERT_TRUE(encode_utf16le(block, 3, out));
    const tf_ref::Utf16leResult want =
        tf_ref::utf16le_encode(std::string_view(reinterpret_cast<const char*>(block), 3));
    if (out.size != want.bytes.size() || out.capacity != out.size + tf::save::kStoreSlack ||
        std::memcmp(out.bytes.get(), want.bytes.data(), out.size) != 0) {
      if (++mismatches <= 5) ADD_FAILURE() << "input " << std::hex << v;
    }
  }
  std::free(block);
  EXPECT_EQ(mismatches, 0u);
}

// Long ASCII runs are widened and counted in bulk, whatever stands before
// and after the run.
TEST(EncodeUtf16le, EveryByteBetweenAsciiRuns) {
  for (int before = 0; before <= 24; ++before) {
    for (int after = 0; after <= 24; ++after) {
      for (int b = 0; b < 256; ++b) {
        std::string text(static_cast<std::size_t>(before), 'a');
        text.push_back(static_cast<char>(b));
        text.append(static_cast<std::size_t>(after), 'z');
        ASSERT_TRUE(matches_reference(text));
      }
    }
  }
}

TEST(EncodeUtf16le, RandomTexts) {
  std::mt19937 rng(20240611);
  const std::string pieces[] = {"a",
                                "hello world ",
                                "\n",
                                "\r\n",
                                "\xC3\xA9",
                                "\xE2\x82\xAC",
                                "\xF0\x9F\x98\x80",
                                "\xED\xA0\x80",
                                "\xF4\x90\x80\x80",
                                "\xC0\x80",
                                "\x80",
                                "\xFF",
                                "\xE2\x82",
                                "\xF0\x9F\x98",
                                std::string(40, 'x')};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 64);
    for (int k = 0; k < n; ++k) {
      const unsigned pick = rng() % 20;
      if (pick < 15) {
        text += pieces[pick];
      } else {
        text.push_back(static_cast<char>(rng() & 0xFF));
      }
    }
    ASSERT_TRUE(matches_reference(text)) << "round " << round;
  }
  // A few long ones, to cross word boundaries many times.
  for (int round = 0; round < 8; ++round) {
    std::string text(200000, 'q');
    for (int k = 0; k < 2000 * round; ++k) {
      text[rng() % text.size()] = static_cast<char>(rng() & 0xFF);
    }
    ASSERT_TRUE(matches_reference(text)) << "long round " << round;
  }
}

std::vector<std::size_t> g_asked;

void* refusing_allocate(std::size_t size) noexcept {
  g_asked.push_back(size);
  return nullptr;
}

// One block of exactly the output's size (plus the vector slack) is asked
// for, once, and nothing else: a save never fails after its work is done,
// nor for memory its output does not need. The size of a block granted is
// checked against the reference by every comparison above.
TEST(EncodeUtf16le, OneBlockOfExactlyTheOutputSize) {
  for (const std::string text :
       {"", "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x90\x80\x80\xE2"}) {
    g_asked.clear();
    Utf16Output out;
    EXPECT_FALSE(encode_utf16le(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                out, refusing_allocate));
    EXPECT_EQ(g_asked, std::vector<std::size_t>{tf_ref::utf16le_encode(text).bytes.size() +
                                                tf::save::kStoreSlack});
    EXPECT_EQ(out.bytes, nullptr);
  }
}

TEST(EncodeUtf16le, LengthWhoseBlockSizeOverflowsIsOutOfMemory) {
  // Nothing is read: the size is refused before any allocation.
  const unsigned char one = 'a';
  Utf16Output out;
  EXPECT_FALSE(encode_utf16le(&one, SIZE_MAX / 2, out));
  EXPECT_EQ(out.bytes, nullptr);
}

}  // namespace
