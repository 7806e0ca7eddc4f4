#include <gtest/gtest.h>

#include <string>

#include "decode/decode.hpp"
#include "decode/decode_test_util.hpp"
#include "reference/utf8_reference.hpp"

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

// Every string of length 0..8 over CR, LF and one other byte, in an
// exact-size block, against the plain counting reference.
TEST(DetectLineEnding, EveryShortStringOfCrLfAndText) {
  static const unsigned char kAlphabet[] = {'\r', '\n', 'a'};
  int failures = 0;
  for (int n = 0; n <= 8; ++n) {
    int count = 1;
    for (int k = 0; k < n; ++k) count *= 3;
    for (int v = 0; v < count; ++v) {
      std::vector<unsigned char> s(static_cast<std::size_t>(n));
      for (int k = 0, rest = v; k < n; ++k, rest /= 3)
        s[static_cast<std::size_t>(k)] = kAlphabet[rest % 3];
      tf_test::ExactCopy copy(s);
      const int got = tf::decode::detect_line_ending(copy.data(), copy.size());
      const int want = tf_ref::detect_line_ending(copy.data(), copy.size());
      if (got != want) {
        ADD_FAILURE() << tf_test::hex(s) << ": " << got << ", expected " << want;
        if (++failures == 10) return;
      }
    }
  }
}

TEST(DetectLineEnding, NullOrEmptyIsLf) {
  const unsigned char cr = '\r';
  EXPECT_EQ(tf::decode::detect_line_ending(nullptr, 0), 0);
  EXPECT_EQ(tf::decode::detect_line_ending(&cr, 0), 0);
}

}  // namespace
