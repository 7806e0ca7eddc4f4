#include <gtest/gtest.h>

#include <string>

#include "decode/decode.hpp"

namespace {

TEST(DetectLineEnding, Table) {
  struct {
    std::string text;
    int expected;
  } const cases[] = {
      {"", 0},       {"abc", 0},      {"\n", 0},
      {"a\nb\n", 0}, {"\r\n\r\n", 1}, {"\r", 2},
      {"a\rb\r", 2}, {"\r\n\n", 3},   {"\r\r\n", 3},
      {"\n\r", 3},   {"\r\n\r", 3},   {"x\ry\r\nz\n", 3},
      {"\r\n", 1},   {"a\r\nb", 1},   {std::string("\0\r\n", 3), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const auto* p = reinterpret_cast<const unsigned char*>(c.text.data());
    EXPECT_EQ(tf::decode::detect_line_ending(p, c.text.size()), c.expected);
  }
  EXPECT_EQ(tf::decode::detect_line_ending(nullptr, 5), 0);
}

}  // namespace
