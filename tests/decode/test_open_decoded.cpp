// What tf_open stores in the slot, looked at from inside: the raw size, the
// detected encoding and mark, the decoded text and the line-ending style, for
// a file of each encoding, and for random files against the reference.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "decode/decode_test_util.hpp"
#include "decode/open_file.hpp"
#include "frame/library_state.hpp"
#include "reference/utf8_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_ref::Bytes;
using tf_test::hex;

struct Expected {
  int encoding;
  int had_bom;
  Bytes text;
  int sanitized;
  int line_ending;
};

// Opens `content` from a file and compares the slot with `want`.
void open_and_check(const tf_test::TempDir& dir, const Bytes& content, const Expected& want) {
  const std::string path = dir.write("f.txt", std::string(content.begin(), content.end()));
  const int handle = tf::decode::open_path(path.c_str());
  ASSERT_GE(handle, 0) << tf::last_error_buffer();
  {
    tf::TableLock lock;
    const tf::HandleSlot* slot = tf::lookup_handle(handle);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->in_use, 1);
    ASSERT_NE(slot->path, nullptr);
    EXPECT_STREQ(slot->path.get(), path.c_str());
    EXPECT_EQ(slot->raw_length, content.size());
    EXPECT_EQ(slot->encoding, want.encoding);
    EXPECT_EQ(slot->had_bom, want.had_bom);
    ASSERT_NE(slot->text, nullptr);
    EXPECT_EQ(hex(slot->text.get(), slot->text_length), hex(want.text));
    EXPECT_EQ(slot->text[slot->text_length], 0);
    EXPECT_EQ(slot->sanitized, want.sanitized);
    EXPECT_EQ(slot->line_ending, want.line_ending);
  }
  tf::decode::close_handle(handle);
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(OpenDecoded, AFileOfEachEncoding) {
  tf_test::TempDir dir;
  struct {
    const char* name;
    Bytes content;
    Expected want;
  } const cases[] = {
      {"empty", {}, {0, 0, {}, 0, 0}},
      {"utf8",
       bytes_of(std::string("h\xC3\xA9llo\r\nw\xC3\xB6rld\n\0\xF0\x9F\x98\x80", 20)),
       {0, 0, bytes_of(std::string("h\xC3\xA9llo\r\nw\xC3\xB6rld\n\0\xF0\x9F\x98\x80", 20)), 0, 3}},
      {"utf8-bom with a bad byte",
       {0xEF, 0xBB, 0xBF, 'a', 0xFF, 'b', '\r', '\n'},
       {1, 1, {'a', 0xEF, 0xBF, 0xBD, 'b', '\r', '\n'}, 1, 1}},
      {"utf8-bom, mark only", {0xEF, 0xBB, 0xBF}, {1, 1, {}, 0, 0}},
      {"utf8-bom, second mark kept",
       {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 'x'},
       {1, 1, {0xEF, 0xBB, 0xBF, 'x'}, 0, 0}},
      {"utf16le",
       {0xFF, 0xFE, 'Z', 0, 0xEB, 0, 0x3D, 0xD8, 0x00, 0xDE, '\r', 0, 0, 0},
       {2, 1, {'Z', 0xC3, 0xAB, 0xF0, 0x9F, 0x98, 0x80, '\r', 0}, 0, 2}},
      {"utf16le with a lone surrogate and an odd byte",
       {0xFF, 0xFE, 0x00, 0xDC, '\n', 0, 'q'},
       {2, 1, {0xEF, 0xBF, 0xBD, '\n', 0xEF, 0xBF, 0xBD}, 1, 0}},
      {"utf16le, mark only", {0xFF, 0xFE}, {2, 1, {}, 0, 0}},
      {"ansi", bytes_of("caf\xE9\n"), {3, 0, bytes_of("caf\xC3\xA9\n"), 0, 0}},
      {"ansi from a big-endian mark",
       {0xFE, 0xFF, 0x00, 'A', 0x00, '\r'},
       {3, 0, {0xC3, 0xBE, 0xC3, 0xBF, 0x00, 'A', 0x00, '\r'}, 0, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    open_and_check(dir, c.content, c.want);
  }
}

TEST(OpenDecoded, RandomFilesMatchTheReference) {
  tf_test::TempDir dir;
  std::mt19937_64 rng(99);
  static const Bytes kPrefixes[] = {{}, {0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}};
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    Bytes content = kPrefixes[rng() % 3];
    const std::size_t n = rng() % 300;
    const bool mostly_text = rng() % 2 == 0;
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char b = static_cast<unsigned char>(rng());
      content.push_back(mostly_text && b >= 0x80 && rng() % 8 != 0
                            ? static_cast<unsigned char>("ab\r\n "[rng() % 5])
                            : b);
    }
    const tf_ref::Detection d = tf_ref::detect_encoding(content.data(), content.size());
    Expected want{d.encoding, d.had_bom, {}, 0, 0};
    if (d.encoding == 0 || d.encoding == 1) {
      const tf_ref::Decoded r =
          tf_ref::decode_utf8(content.data(), content.size(), d.encoding == 1 ? 3 : 0);
      want.text = r.text;
      want.sanitized = r.sanitized;
    } else if (d.encoding == 2) {
      const tf_ref::Decoded r = tf_ref::decode_utf16le(content.data(), content.size());
      want.text = r.text;
      want.sanitized = r.sanitized;
    } else {
      want.text = tf_ref::decode_ansi(content.data(), content.size());
    }
    want.line_ending = tf_ref::detect_line_ending(want.text.data(), want.text.size());
    open_and_check(dir, content, want);
  }
}

}  // namespace
