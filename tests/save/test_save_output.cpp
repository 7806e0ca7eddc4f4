// What a successful save writes: the exact bytes of each encoding, the
// lengths tf_save_text accepts, and round trips through tf_open.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::read_file;
using tf_test::TempDir;

std::string info_of(int h) {
  char* json = tf_info(h);
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

int save_bytes(const std::string& text, const std::string& path, const char* encoding) {
  return tf_save_text(text.data(), static_cast<int>(text.size()), path.c_str(), encoding);
}

// The file a save of `text` in `encoding` must produce.
std::string expected_file(const std::string& text, const std::string& encoding) {
  if (encoding == "utf8") return text;
  if (encoding == "utf8-bom") return "\xEF\xBB\xBF" + text;
  return tf_ref::utf16le_encode(text).bytes;
}

TEST(SaveOutput, Utf16leTable) {
  TempDir dir;
  const std::string path = dir.file("out.txt");
  struct {
    std::string text;
    std::string written;  // after FF FE
  } const cases[] = {
      {"\x41", std::string("\x41\x00", 2)},
      {"\xC3\xA9", std::string("\xE9\x00", 2)},
      {"\xE2\x82\xAC", "\xAC\x20"},
      {"\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4)},
      {"\x80", "\xFD\xFF"},
      {"\xFF", "\xFD\xFF"},
      {"\xE2\x82", "\xFD\xFF\xFD\xFF"},
      {"\xF0\x9F\x98", "\xFD\xFF\xFD\xFF\xFD\xFF"},
      {"\xF4\x90\x80\x80", "\xFD\xFF"},
      {"\xC3\x41", std::string("\xC1\x00", 2)},
      {"\xF0\x80\x80\x41", std::string("\x01\x00", 2)},
      {"\xED\xA0\x80", std::string("\x00\xD8", 2)},
      {std::string("\xC0\x80", 2), std::string("\x00\x00", 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    ASSERT_EQ(save_bytes(c.text, path, "utf16le"), 1) << tf_last_error();
    EXPECT_EQ(read_file(path), "\xFF\xFE" + c.written);
    EXPECT_FALSE(file_exists(path + ".tmp"));
  }
}

TEST(SaveOutput, EmptyTextGivesOnlyTheMark) {
  TempDir dir;
  const std::string path = dir.file("empty.txt");
  struct {
    const char* encoding;
    std::string bytes;
  } const cases[] = {{"utf8", ""}, {"utf8-bom", "\xEF\xBB\xBF"}, {"utf16le", "\xFF\xFE"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    ASSERT_EQ(tf_save_text("", 0, path.c_str(), c.encoding), 1) << tf_last_error();
    EXPECT_EQ(read_file(path), c.bytes);
    ASSERT_EQ(tf_save_text("", -1, path.c_str(), c.encoding), 1) << tf_last_error();
    EXPECT_EQ(read_file(path), c.bytes);
  }
}

TEST(SaveOutput, LengthsOfSaveText) {
  TempDir dir;
  const std::string path = dir.file("len.txt");
  const char with_nul[] = {'a', 'b', '\0', 'c', 'd', '\0'};
  struct {
    const char* text;
    int length;
    const char* encoding;
    std::string bytes;
  } const cases[] = {
      {"abc", -1, "utf8", "abc"},
      {"abc", -7, "utf8-bom",
       "\xEF\xBB\xBF"
       "abc"},
      {"abc", 0, "utf8", ""},
      {"abc", 0, "utf8-bom", "\xEF\xBB\xBF"},
      {"abc", 0, "utf16le", "\xFF\xFE"},
      {"abc", 2, "utf8", "ab"},
      {with_nul, -1, "utf8", "ab"},
      {with_nul, 5, "utf8", std::string("ab\0cd", 5)},
      {with_nul, 5, "utf16le",
       std::string("\xFF\xFE"
                   "a\0b\0\0\0c\0d\0",
                   12)},
      // A mark already in the text is written as text: two marks.
      {"\xEF\xBB\xBFx", -1, "utf8-bom", "\xEF\xBB\xBF\xEF\xBB\xBFx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " " << c.encoding);
    ASSERT_EQ(tf_save_text(c.text, c.length, path.c_str(), c.encoding), 1) << tf_last_error();
    EXPECT_EQ(read_file(path), c.bytes);
  }
}

TEST(SaveOutput, SuccessLeavesTheLastErrorAlone) {
  TempDir dir;
  char* none = tf_info(-1);
  ASSERT_EQ(none, nullptr);
  ASSERT_STREQ(tf_last_error(), "invalid handle");
  EXPECT_EQ(tf_save_text("x", 1, dir.file("a.txt").c_str(), "utf8"), 1);
  EXPECT_STREQ(tf_last_error(), "invalid handle");
}

TEST(SaveOutput, ExistingTargetIsReplacedCompletely) {
  TempDir dir;
  const std::string path = dir.write("t.txt", std::string(10000, 'o'));
  ASSERT_EQ(tf_save_text("new", -1, path.c_str(), "utf8"), 1) << tf_last_error();
  EXPECT_EQ(read_file(path), "new");
  EXPECT_FALSE(file_exists(path + ".tmp"));
}

// A handle's text saved in each encoding: the file holds the expected
// bytes, and opening it again gives the same text (saved back as utf8).
TEST(SaveOutput, HandleRoundTripsInEveryEncoding) {
  TempDir dir;
  const std::string text =
      "line one\r\nz\xC3\xA9ro \xE2\x82\xAC \xF0\x9F\x98\x80\n"
      "\xE4\xB8\xAD\xE6\x96\x87\tend";
  const std::string source = dir.write("source.txt", text);
  const int h = tf_open(source.c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  const std::string info_before = info_of(h);

  struct {
    const char* encoding;
    const char* info;
  } const cases[] = {
      {"utf8", R"({"encoding":"utf8","had_bom":0,"line_ending":"mixed","bytes":35,"raw_bytes":35,)"
               R"("lines":3,"sanitized":0})"},
      {"utf8-bom",
       R"({"encoding":"utf8-bom","had_bom":1,"line_ending":"mixed","bytes":35,"raw_bytes":38,)"
       R"("lines":3,"sanitized":0})"},
      {"utf16le",
       R"({"encoding":"utf16le","had_bom":1,"line_ending":"mixed","bytes":35,"raw_bytes":54,)"
       R"("lines":3,"sanitized":0})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    const std::string saved = dir.file(std::string("saved-") + c.encoding);
    ASSERT_EQ(tf_save(h, saved.c_str(), c.encoding), 1) << tf_last_error();
    EXPECT_EQ(read_file(saved), expected_file(text, c.encoding));

    const int again = tf_open(saved.c_str());
    ASSERT_GE(again, 0) << tf_last_error();
    EXPECT_EQ(info_of(again), c.info);
    const std::string back = dir.file("back.txt");
    ASSERT_EQ(tf_save(again, back.c_str(), "utf8"), 1) << tf_last_error();
    EXPECT_EQ(read_file(back), text);
    tf_close(again);

    // The handle saved from is untouched.
    EXPECT_EQ(info_of(h), info_before);
  }
  tf_close(h);
}

TEST(SaveOutput, HandleOpenedFromUtf16SavesItsDecodedText) {
  TempDir dir;
  const std::string source = dir.write("u16.txt", std::string("\xFF\xFEh\0i\0\xAC\x20", 8));
  const int h = tf_open(source.c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  const std::string before = info_of(h);
  const std::string out = dir.file("out.txt");
  ASSERT_EQ(tf_save(h, out.c_str(), "utf8"), 1) << tf_last_error();
  EXPECT_EQ(read_file(out), "hi\xE2\x82\xAC");
  EXPECT_EQ(info_of(h), before);
  // Overwriting the very file the handle came from.
  ASSERT_EQ(tf_save(h, source.c_str(), "utf8-bom"), 1) << tf_last_error();
  EXPECT_EQ(read_file(source), "\xEF\xBB\xBFhi\xE2\x82\xAC");
  EXPECT_EQ(info_of(h), before);
  tf_close(h);
}

}  // namespace
