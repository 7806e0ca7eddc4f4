// tf_full through the public API: the whole decoded text, inner 0x00 bytes
// included, terminated, from malloc.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"
#include "support/heap_blocks.hpp"

namespace {

using namespace std::string_view_literals;
using tf_test::OpenText;

TEST(TfFull, CopiesEveryByteAndTerminates) {
  static const struct {
    std::string_view file;
    std::string_view text;
  } kCases[] = {
      {""sv, ""sv},
      {"abc"sv, "abc"sv},
      {"a\0b\0"sv, "a\0b\0"sv},
      {"\xEF\xBB\xBFhi"sv, "hi"sv},                      // BOM dropped
      {"\xFF\xFEh\0\xE9\0\0\0x\0"sv, "h\xC3\xA9\0x"sv},  // UTF-16LE, with a U+0000
      {"caf\xE9"sv, "caf\xC3\xA9"sv},                    // ansi
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.file)));
    OpenText file(c.file);
    char* full = tf_full(file.handle());
    ASSERT_NE(full, nullptr) << tf_last_error();
    EXPECT_GE(tf_test::usable_size(full), c.text.size() + 1);
    EXPECT_EQ(std::string_view(full, c.text.size()), c.text);
    EXPECT_EQ(full[c.text.size()], '\0');
    tf_free_string(full);
  }
}

TEST(TfFull, InvalidHandles) {
  for (int h : {-1, 64, 1000}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(tf_full(h), nullptr);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
}

}  // namespace
