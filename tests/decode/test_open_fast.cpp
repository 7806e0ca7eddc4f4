// tf_open reads a file in pieces, checks and scans each piece as it arrives
// and keeps the read block as the text when the bytes are already the text.
// Whatever the encoding and wherever a sequence, an error or a CR LF pair
// falls relative to the pieces, the slot must hold exactly what the plain
// detection, decoding and classification give for the file's bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "decode/load_file.hpp"
#include "decode/open_file.hpp"
#include "decode/text_gen.hpp"
#include "frame/large_block.hpp"
#include "frame/library_state.hpp"
#include "reference/plain_decode.hpp"
#include "reference/text_measures.hpp"
#include "support/simd_levels.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace plain = tf_ref::plain;
using tf_test::hex;

// Opens `bytes` from a file with each vector level in turn and compares the
// slot with the reference.
void expect_open_matches(const tf_test::TempDir& dir, const std::string& bytes) {
  const std::string path = dir.write("f.txt", bytes);
  const plain::Detected want = plain::detect(bytes);
  const plain::Decoded text = plain::decode(bytes, want.encoding);
  const int line_ending = plain::line_ending(text.text);
  tf_test::for_each_level([&](tf::simd::Level) {
    const int h = tf::decode::open_path(path.c_str());
    ASSERT_GE(h, 0);
    {
      tf::TableLock lock;
      const tf::HandleSlot* slot = tf::lookup_handle(h);
      ASSERT_NE(slot, nullptr);
      EXPECT_EQ(slot->encoding, want.encoding);
      EXPECT_EQ(slot->had_bom, want.had_bom);
      EXPECT_EQ(slot->raw_length, bytes.size());
      ASSERT_NE(slot->text, nullptr);
      EXPECT_EQ(slot->text[slot->text_length], 0);
      const std::string got(reinterpret_cast<const char*>(slot->text.get()), slot->text_length);
      EXPECT_TRUE(got == text.text) << "got " << hex(got) << "\nwant " << hex(text.text);
      EXPECT_EQ(slot->sanitized, want.encoding == 3 ? 0 : text.sanitized);
      EXPECT_EQ(slot->line_ending, line_ending);
      EXPECT_EQ(slot->lines, tf_ref::lines(text.text));
    }
    tf::decode::close_handle(h);
  });
}

TEST(OpenFast, SmallFilesOfEveryKindMatchThePlainDecoding) {
  tf_test::TempDir dir;
  std::mt19937_64 rng(11);
  const std::string marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE"};
  {
    for (int round = 0; round < 60; ++round) {
      const std::string& mark = marks[round % 3];
      const std::size_t size = rng() % 3000;
      std::string s = mark + (round % 3 == 2 ? tf_test::random_utf16le(rng, size / 2)
                                             : tf_test::random_utf8(rng, size));
      if (round % 2 == 1) tf_test::flip_bits(rng, s, 1 + static_cast<int>(rng() % 3));
      SCOPED_TRACE(hex(s));
      expect_open_matches(dir, s);
      if (HasFatalFailure()) return;
    }
    for (const char* tiny : {"", "a", "\xFF", "\xFF\xFE", "\xFF\xFE\x41", "\xEF\xBB",
                             "\xEF\xBB\xBF", "\xEF\xBB\xBF\xC3", "\r", "\xE9\r", "\xC3\xA9\r\n"}) {
      expect_open_matches(dir, tiny);
    }
  }
}

// Sequences, errors and CR LF pairs placed on every side of the first piece
// boundary, for each kind of file.
TEST(OpenFast, EdgesOfTheReadPieces) {
  tf_test::TempDir dir;
  const std::size_t piece = tf::decode::kReadPiece;
  const std::string marks[] = {"", "\xEF\xBB\xBF"};
  const std::string inserts[] = {"\xF0\x9F\x98\x80", "\xE2\x82\xAC", "\xC3\xA9", "\r\n",
                                 "\xF0\x9F\x98",     "\xE9",         "\r"};
  {
    for (const std::string& mark : marks) {
      for (const std::string& insert : inserts) {
        for (std::size_t at = piece - 2; at <= piece + 4; ++at) {
          std::string s = mark + std::string(piece + 16, 'w');
          s.replace(at, insert.size(), insert);
          SCOPED_TRACE(hex(mark) + " insert " + hex(insert) + " at " + std::to_string(at));
          expect_open_matches(dir, s);
          // The same with the file ending right after the insert.
          expect_open_matches(dir, s.substr(0, at + insert.size()));
          if (HasFatalFailure()) return;
        }
      }
    }
    // UTF-16LE with a surrogate pair and a CR LF across the boundary.
    for (std::size_t at = piece - 4; at <= piece + 4; ++at) {
      std::string s = "\xFF\xFE";
      while (s.size() < piece + 32) s += std::string("a\0", 2);
      s.replace(at, 4, std::string("\x3D\xD8\x00\xDE", 4));
      s.replace(at + 8, 4, std::string("\r\0\n\0", 4));
      SCOPED_TRACE(at);
      expect_open_matches(dir, s);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(LargeBlock, IsAlignedForHugePagesAndBehavesAsAMallocBlock) {
  const std::size_t n = (std::size_t{5} << 20) + 123;
  tf::HeapBytes block = tf::alloc_large(n);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % (std::size_t{2} << 20), 0u);
  for (std::size_t i = 0; i < n; i += 4096) block[i] = static_cast<unsigned char>(i >> 12);
  block[n - 1] = 0x5A;
  tf::shrink_block(block, n, 3 * 4096 + 1);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[4096], 1);
  EXPECT_EQ(block[2 * 4096], 2);
  // Small blocks are plain malloc blocks.
  tf::HeapBytes small = tf::alloc_large(100);
  ASSERT_NE(small, nullptr);
  small[99] = 1;
}

}  // namespace
