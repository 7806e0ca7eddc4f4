// tf_full at its limit: a text of exactly 64 MiB is returned whole, one byte
// more is refused with a message pointing at paging.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::take;
using tf_test::TempDir;

constexpr std::size_t kLimit = 67108864;
constexpr std::size_t kChunk = 1 << 20;

// 1 MiB of lines, each 64 bytes, varied so that a shifted copy would show.
std::string chunk(std::size_t index) {
  std::string c(kChunk, ' ');
  for (std::size_t i = 0; i < kChunk; ++i) {
    c[i] = i % 64 == 63 ? '\n' : static_cast<char>('a' + (i / 64 + index) % 26);
  }
  return c;
}

std::string write_big(const TempDir& dir, const char* name, std::size_t extra) {
  const std::string path = dir.file(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (std::size_t k = 0; k < kLimit / kChunk; ++k) out << chunk(k);
  out << std::string(extra, 'z');
  EXPECT_TRUE(out.good());
  return path;
}

TEST(TfFullLimit, SixtyFourMiBIsReturnedWhole) {
  TempDir dir;
  const int h = tf_open(write_big(dir, "exact.txt", 0).c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  char* full = tf_full(h);
  ASSERT_NE(full, nullptr) << tf_last_error();
  EXPECT_EQ(full[kLimit], '\0');
  bool same = true;
  for (std::size_t k = 0; k < kLimit / kChunk && same; ++k) {
    same = std::memcmp(full + k * kChunk, chunk(k).data(), kChunk) == 0;
  }
  EXPECT_TRUE(same);
  tf_free_string(full);
  const char last = chunk(kLimit / kChunk - 1)[kChunk - 2];
  EXPECT_EQ(take(tf_text(h, 67108862, 10)),
            std::string("{\"text\":\"") + last + "\\n\",\"next_offset\":67108864}");
  tf_close(h);
}

TEST(TfFullLimit, OneByteMoreIsRefused) {
  TempDir dir;
  const int h = tf_open(write_big(dir, "over.txt", 1).c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  EXPECT_EQ(tf_full(h), nullptr);
  EXPECT_STREQ(tf_last_error(),
               "file too large for tf_full (67108865 bytes; max 67108864); use tf_text paging");
  // Paging still reaches the last byte.
  EXPECT_EQ(take(tf_text(h, 67108863, 10)), "{\"text\":\"\\nz\",\"next_offset\":67108865}");
  tf_close(h);
}

}  // namespace
