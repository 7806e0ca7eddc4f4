// tf_stats through the public API, on files in each encoding.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"

namespace {

using namespace std::string_view_literals;
using tf_test::OpenText;
using tf_test::take;

TEST(TfStats, Examples) {
  static const struct {
    std::string_view file;
    const char* json;
  } kCases[] = {
      {""sv, "{\"lines\":0,\"words\":0,\"chars\":0,\"bytes\":0}"},
      {"Hello, world\n"sv, "{\"lines\":1,\"words\":2,\"chars\":13,\"bytes\":13}"},
      {"don't stop-me now_1"sv, "{\"lines\":1,\"words\":5,\"chars\":19,\"bytes\":19}"},
      {"a\tb\x0B"
       "c\x0C"
       "d e"sv,
       "{\"lines\":1,\"words\":5,\"chars\":9,\"bytes\":9}"},
      {"\x40\x5B\x60\x7B"sv, "{\"lines\":1,\"words\":0,\"chars\":4,\"bytes\":4}"},
      {"a\0b"sv, "{\"lines\":1,\"words\":2,\"chars\":3,\"bytes\":3}"},
      {"na\xC3\xAFve caf\xC3\xA9"sv, "{\"lines\":1,\"words\":2,\"chars\":10,\"bytes\":12}"},
      {"x\xC2\xA0y"sv, "{\"lines\":1,\"words\":1,\"chars\":3,\"bytes\":4}"},
      {"\xEF\xBB\xBFhi"sv, "{\"lines\":1,\"words\":1,\"chars\":2,\"bytes\":2}"},
      {"\xFF\xFEh\0i\0"sv, "{\"lines\":1,\"words\":1,\"chars\":2,\"bytes\":2}"},
      {"a\n"sv, "{\"lines\":1,\"words\":1,\"chars\":2,\"bytes\":2}"},
      {"\r\r\n\n"sv, "{\"lines\":3,\"words\":0,\"chars\":4,\"bytes\":4}"},
      {"a\n\rb"sv, "{\"lines\":3,\"words\":2,\"chars\":4,\"bytes\":4}"},
      {"a\r\r\nb"sv, "{\"lines\":3,\"words\":2,\"chars\":5,\"bytes\":5}"},
      // Ill-formed UTF-8 decodes to U+FFFD, a three-byte word character.
      {"\xEF\xBB\xBF"
       "a\xFF"
       "b"sv,
       "{\"lines\":1,\"words\":1,\"chars\":3,\"bytes\":5}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.file)));
    OpenText file(c.file);
    EXPECT_EQ(take(tf_stats(file.handle())), c.json);
  }
}

TEST(TfStats, InvalidHandles) {
  for (int h : {-1, 64, 1000}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(tf_stats(h), nullptr);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
}

}  // namespace
