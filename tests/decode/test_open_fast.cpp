// tf_open reads a file in pieces, checks and scans each piece as it arrives
// and keeps the read block as the text when the bytes are already the text.
// Whatever the encoding and wherever a sequence, an error or a CR LF pair
// falls relative to the pieces, the slot must hold exactly what the plain
// detection, decoding and classification give for the file's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>

#include "decode/load_file.hpp"
#include "decode/open_file.hpp"
#include "decode/text_gen.hpp"
#include "frame/large_block.hpp"
#include "frame/library_state.hpp"
#include "platform/read_files.hpp"
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

// load_file on a descriptor with small pieces: sequences, errors and CR LF
// pairs fall on every side of many piece edges, for each kind of file.
// `stated` is the size the status query is taken to have given (the real one
// when kNoSize).
constexpr std::uint64_t kNoSize = ~std::uint64_t{0};
void expect_load_matches(const tf_test::TempDir& dir, const std::string& bytes,
                         std::initializer_list<std::uint64_t> pieces,
                         std::uint64_t stated = kNoSize) {
  const std::string path = dir.write("p.txt", bytes);
  const plain::Detected want = plain::detect(bytes);
  const plain::Decoded text = plain::decode(bytes, want.encoding);
  for (const std::uint64_t piece : pieces) {
    const int fd = tf::platform::open_for_reading(path.c_str());
    ASSERT_GE(fd, 0);
    tf::decode::LoadedFile loaded;
    const tf::decode::LoadStatus status =
        tf::decode::load_file(fd, stated == kNoSize ? bytes.size() : stated, loaded, piece);
    tf::platform::close_file(fd);
    ASSERT_EQ(status, tf::decode::LoadStatus::kOk);
    EXPECT_EQ(loaded.raw_length, bytes.size());
    EXPECT_EQ(loaded.encoding, want.encoding);
    EXPECT_EQ(loaded.had_bom, want.had_bom);
    const tf::decode::DecodedText& d = loaded.decoded;
    ASSERT_NE(d.text, nullptr);
    EXPECT_EQ(d.text[d.text_length], 0);
    const std::string got(reinterpret_cast<const char*>(d.text.get()), d.text_length);
    EXPECT_TRUE(got == text.text) << "piece " << piece << ": " << hex(got) << "\nwant "
                                  << hex(text.text);
    EXPECT_EQ(d.sanitized, want.encoding == 3 ? 0 : text.sanitized);
    EXPECT_EQ(loaded.line_ending, plain::line_ending(text.text));
    EXPECT_EQ(loaded.lines, tf_ref::lines(text.text));
  }
}

TEST(OpenFast, EdgesOfTheReadPieces) {
  tf_test::TempDir dir;
  std::mt19937_64 rng(13);
  const std::string marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE"};
  const std::string inserts[] = {"\xF0\x9F\x98\x80", "\xE2\x82\xAC", "\xC3\xA9", "\r\n",
                                 "\xF0\x9F\x98",     "\xE9",         "\r"};
  for (const std::string& mark : marks) {
    for (const std::string& insert : inserts) {
      for (std::size_t at = 0; at < 40; ++at) {
        std::string s = mark + std::string(40, 'w');
        s.replace(mark.size() + at, insert.size(), insert);
        s.resize(std::max(s.size(), mark.size() + 40));
        SCOPED_TRACE(hex(s));
        expect_load_matches(dir, s, {1, 2, 3, 4, 5, 7, 8, 13, 16});
        expect_load_matches(dir, s.substr(0, mark.size() + at + insert.size()),
                            {1, 2, 3, 4, 5, 7, 8, 13, 16});
        if (HasFatalFailure()) return;
      }
    }
    // Random texts of each kind with flips, in pieces of every small size.
    for (int round = 0; round < 20; ++round) {
      std::string s = mark + (mark == "\xFF\xFE" ? tf_test::random_utf16le(rng, 60)
                                                 : tf_test::random_utf8(rng, 120));
      tf_test::flip_bits(rng, s, static_cast<int>(rng() % 3));
      SCOPED_TRACE(hex(s));
      expect_load_matches(dir, s, {1, 2, 3, 5, 8, 13, 21, 34, 55, 64, 70});
      if (HasFatalFailure()) return;
    }
  }
}

// Through tf_open, with the real piece size: a sequence across the first
// edge, and an error at the end of a file of two pieces.
TEST(OpenFast, TheFirstPieceEdgeThroughOpen) {
  tf_test::TempDir dir;
  const std::size_t piece = tf::decode::kReadPiece;
  for (const std::string& mark : {std::string(), std::string("\xEF\xBB\xBF")}) {
    for (std::size_t at = piece - 2; at <= piece + 1; ++at) {
      std::string s = mark + std::string(piece + 16, 'w');
      s.replace(at, 4, "\xF0\x9F\x98\x80");
      expect_open_matches(dir, s);
      s.back() = static_cast<char>(0xC3);
      expect_open_matches(dir, s);
      if (HasFatalFailure()) return;
    }
  }
}

// A file that goes on past the size its status gave (0 for the files of
// /proc, or a file being written) is read to its end, whatever its kind.
TEST(OpenFast, FilesLongerThanTheirStatedSizeAreReadToTheEnd) {
  tf_test::TempDir dir;
  const std::string body = std::string(300, 'a') + "\r\n\xC3\xA9";
  const std::string utf16("\xFF\xFE\x41\x00\x0D\x00\x0A\x00\x3D\xD8\x00\xDE", 12);
  for (const std::string& bytes : {body, "\xEF\xBB\xBF" + body + "\xFF", utf16, body + "\xE9"}) {
    SCOPED_TRACE(hex(bytes));
    for (const std::uint64_t stated :
         {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{bytes.size() / 2},
          std::uint64_t{bytes.size() - 1}}) {
      expect_load_matches(dir, bytes, {2, 64, tf::decode::kReadPiece}, stated);
    }
  }
}

TEST(LargeBlock, IsAlignedForHugePagesAndBehavesAsAMallocBlock) {
  const std::size_t n = (std::size_t{5} << 20) + 123;
  tf::HeapBytes block = tf::alloc_large(n);
  ASSERT_NE(block, nullptr);
#if !defined(_WIN32) && !defined(__wasi__)  // ordinary heap blocks there
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % (std::size_t{2} << 20), 0u);
#endif
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
