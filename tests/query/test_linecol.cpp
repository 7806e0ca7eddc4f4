// tf_linecol through the public API.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"

namespace {

using namespace std::string_view_literals;
using tf_test::OpenText;
using tf_test::take;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::string json(std::int64_t line, std::int64_t col) {
  return "{\"line\":" + std::to_string(line) + ",\"col\":" + std::to_string(col) + "}";
}

TEST(TfLinecol, Examples) {
  static const struct {
    std::string_view file;
    std::int64_t offset;
    std::int64_t line;
    std::int64_t col;
  } kCases[] = {
      {"ab\r\ncd"sv, kMin, 1, 1},
      {"ab\r\ncd"sv, -5, 1, 1},
      {"ab\r\ncd"sv, 0, 1, 1},
      {"ab\r\ncd"sv, 2, 1, 3},
      {"ab\r\ncd"sv, 3, 2, 1},
      {"ab\r\ncd"sv, 4, 2, 1},
      {"ab\r\ncd"sv, 5, 2, 2},
      {"ab\r\ncd"sv, 6, 2, 3},
      {"ab\r\ncd"sv, 100, 2, 3},
      {"ab\r\ncd"sv, kMax, 2, 3},
      {"a\n"sv, 2, 2, 1},
      {"\r\r\n\n"sv, 1, 2, 1},
      {"\r\r\n\n"sv, 2, 3, 1},
      {"\r\r\n\n"sv, 3, 3, 1},
      {"\r\r\n\n"sv, 4, 4, 1},
      {"\xC3\xA9x"sv, 1, 1, 2},
      {"\xC3\xA9x"sv, 3, 1, 4},
      {""sv, kMin, 1, 1},
      {""sv, 0, 1, 1},
      {""sv, 1, 1, 1},
      {""sv, kMax, 1, 1},
      // Offsets count decoded bytes: UTF-16LE 'é', LF, 'x' decodes to 4 bytes.
      {"\xFF\xFE\xE9\0\n\0x\0"sv, 2, 1, 3},
      {"\xFF\xFE\xE9\0\n\0x\0"sv, 4, 2, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.file)) + " @ " + std::to_string(c.offset));
    OpenText file(c.file);
    EXPECT_EQ(take(tf_linecol(file.handle(), c.offset)), json(c.line, c.col));
  }
}

TEST(TfLinecol, InvalidHandles) {
  for (int h : {-1, 64, 1000}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(tf_linecol(h, 0), nullptr);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
}

}  // namespace
