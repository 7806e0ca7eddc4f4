// Detection and decoding of the documented example inputs, row by row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/decode.hpp"
#include "decode/decode_test_util.hpp"

namespace {

using tf::decode::DecodedText;

struct Row {
  std::vector<unsigned char> input;
  int encoding;
  int had_bom;
  std::vector<unsigned char> text;
  int sanitized;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      {{}, 0, 0, {}, 0},
      {{0x41, 0x00, 0x42, 0x00}, 0, 0, {0x41, 0x00, 0x42, 0x00}, 0},
      {{0xC3, 0xA9}, 0, 0, {0xC3, 0xA9}, 0},
      {{0xF0, 0x9F, 0x98, 0x80}, 0, 0, {0xF0, 0x9F, 0x98, 0x80}, 0},
      {{0xC3}, 3, 0, {0xC3, 0x83}, 0},
      {{0xC0, 0x80}, 3, 0, {0xC3, 0x80, 0xC2, 0x80}, 0},
      {{0xE0, 0x80, 0xAF}, 3, 0, {0xC3, 0xA0, 0xC2, 0x80, 0xC2, 0xAF}, 0},
      {{0xED, 0xA0, 0x80}, 3, 0, {0xC3, 0xAD, 0xC2, 0xA0, 0xC2, 0x80}, 0},
      {{0xF4, 0x90, 0x80, 0x80}, 3, 0, {0xC3, 0xB4, 0xC2, 0x90, 0xC2, 0x80, 0xC2, 0x80}, 0},
      {{0xFE, 0xFF, 0x00, 0x41}, 3, 0, {0xC3, 0xBE, 0xC3, 0xBF, 0x00, 0x41}, 0},
      {{0xEF, 0xBB}, 3, 0, {0xC3, 0xAF, 0xC2, 0xBB}, 0},
      {{0xEF, 0xBB, 0xBF}, 1, 1, {}, 0},
      {{0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF}, 1, 1, {0xEF, 0xBB, 0xBF}, 0},
      {{0xEF, 0xBB, 0xBF, 0x41, 0xFF, 0x42}, 1, 1, {0x41, 0xEF, 0xBF, 0xBD, 0x42}, 1},
      {{0xEF, 0xBB, 0xBF, 0xE2, 0x82, 0x41}, 1, 1, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0x41}, 1},
      {{0xEF, 0xBB, 0xBF, 0xC0, 0x80}, 1, 1, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}, 1},
      {{0xEF, 0xBB, 0xBF, 0xC2}, 1, 1, {0xEF, 0xBF, 0xBD}, 1},
      {{0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98},
       1,
       1,
       {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD},
       1},
      {{0xFF, 0xFE}, 2, 1, {}, 0},
      {{0xFF, 0xFE, 0x41}, 2, 1, {0xEF, 0xBF, 0xBD}, 1},
      {{0xFF, 0xFE, 0x41, 0x00}, 2, 1, {0x41}, 0},
      {{0xFF, 0xFE, 0x00, 0x00}, 2, 1, {0x00}, 0},
      {{0xFF, 0xFE, 0x41, 0x00, 0x42}, 2, 1, {0x41, 0xEF, 0xBF, 0xBD}, 1},
      {{0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}, 2, 1, {0xF0, 0x9F, 0x98, 0x80}, 0},
      {{0xFF, 0xFE, 0x00, 0xD8}, 2, 1, {0xEF, 0xBF, 0xBD}, 1},
      {{0xFF, 0xFE, 0x00, 0xD8, 0x41}, 2, 1, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}, 1},
      {{0xFF, 0xFE, 0x00, 0xD8, 0x41, 0x00}, 2, 1, {0xEF, 0xBF, 0xBD, 0x41}, 1},
      {{0xFF, 0xFE, 0x00, 0xDC}, 2, 1, {0xEF, 0xBF, 0xBD}, 1},
      {{0xFF, 0xFE, 0x00, 0xD8, 0x00, 0xD8, 0x00, 0xDC},
       2,
       1,
       {0xEF, 0xBF, 0xBD, 0xF0, 0x90, 0x80, 0x80},
       1},
  };
  return table;
}

std::string hex(const std::vector<unsigned char>& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    out += buf;
  }
  return out;
}

TEST(DecodeTable, EveryDocumentedRow) {
  for (const Row& row : rows()) {
    SCOPED_TRACE(hex(row.input));
    // An exact-size heap copy, so reading past the input is caught by ASan.
    tf_test::ExactCopy input(row.input);
    const unsigned char* bytes = input.data();
    int encoding = -1, had_bom = -1;
    tf::decode::detect_encoding(bytes, row.input.size(), &encoding, &had_bom);
    EXPECT_EQ(encoding, row.encoding);
    EXPECT_EQ(had_bom, row.had_bom);

    DecodedText out;
    out.sanitized = 7;
    ASSERT_EQ(tf::decode::decode_to_utf8(bytes, row.input.size(), encoding, out), 0);
    ASSERT_NE(out.text, nullptr);
    const std::vector<unsigned char> text(out.text.get(), out.text.get() + out.text_length);
    EXPECT_EQ(hex(text), hex(row.text));
    EXPECT_EQ(out.text[out.text_length], 0);
    EXPECT_EQ(out.sanitized, row.sanitized);
  }
}

TEST(DetectEncoding, NullInputIsAnsiWithoutBom) {
  int encoding = -1, had_bom = -1;
  tf::decode::detect_encoding(nullptr, 10, &encoding, &had_bom);
  EXPECT_EQ(encoding, 3);
  EXPECT_EQ(had_bom, 0);
  encoding = had_bom = -1;
  tf::decode::detect_encoding(nullptr, 0, &encoding, &had_bom);
  EXPECT_EQ(encoding, 3);
  EXPECT_EQ(had_bom, 0);
}

TEST(DecodeToUtf8, NullBytesWithLengthFails) {
  DecodedText out;
  EXPECT_EQ(tf::decode::decode_to_utf8(nullptr, 3, 0, out), -1);
  EXPECT_EQ(out.text, nullptr);
  EXPECT_EQ(out.text_length, 0u);
}

TEST(Names, EncodingAndLineEnding) {
  struct {
    int code;
    const char* encoding;
    const char* line_ending;
  } const cases[] = {{0, "utf8", "lf"},    {1, "utf8-bom", "crlf"}, {2, "utf16le", "cr"},
                     {3, "ansi", "mixed"}, {4, "ansi", "lf"},       {7, "ansi", "lf"},
                     {-1, "ansi", "lf"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_STREQ(tf::decode::encoding_name(c.code), c.encoding);
    EXPECT_STREQ(tf::decode::line_ending_name(c.code), c.line_ending);
  }
}

}  // namespace
