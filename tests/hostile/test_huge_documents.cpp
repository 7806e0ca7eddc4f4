// Documents at the size limit: the largest accepted file opens, every query
// answers it in one linear pass, and the whole-text copy is refused with its
// message instead of being attempted. The files are sparse (all 0x00 bytes,
// a well-formed UTF-8 text of U+0000), so they cost no disk.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

std::string take(char* json) {
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

// Zeros up to the tail: a hole where the file system has them.
std::string sparse_file(const TempDir& dir, const char* name, std::int64_t size,
                        const std::string& tail) {
  const std::string path = dir.write(name, "");
  const auto head = static_cast<std::uintmax_t>(size) - tail.size();
  std::filesystem::resize_file(path, head);
  std::FILE* file = std::fopen(path.c_str(), "ab");
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return path;
  EXPECT_EQ(std::fwrite(tail.data(), 1, tail.size(), file), tail.size());
  EXPECT_EQ(std::fclose(file), 0);
  return path;
}

TEST(HugeDocuments, LargestAcceptedFile) {
  TempDir dir;
  constexpr std::int64_t kLimit = 524288000;
  const std::string path = sparse_file(dir, "largest.txt", kLimit, "\nend\n");
  const int h = tf_open(path.c_str());
  ASSERT_EQ(h, 0) << tf_last_error();
  EXPECT_EQ(take(tf_info(h)),
            R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":524288000,)"
            R"("raw_bytes":524288000,"lines":2,"sanitized":0})");
  EXPECT_EQ(take(tf_stats(h)), R"({"lines":2,"words":1,"chars":524288000,"bytes":524288000})");
  EXPECT_EQ(take(tf_linecol(h, INT64_MAX)), R"({"line":3,"col":1})");
  EXPECT_EQ(take(tf_linecol(h, kLimit - 4)), R"({"line":2,"col":1})");
  EXPECT_EQ(take(tf_text(h, kLimit - 4, INT32_MAX)), R"({"text":"end\n","next_offset":524288000})");
  // A page of 0x00 bytes is an empty "text" that still moves next_offset.
  EXPECT_EQ(take(tf_text(h, 1000, 1000000)), R"({"text":"","next_offset":1001000})");
  EXPECT_EQ(tf_full(h), nullptr);
  EXPECT_STREQ(tf_last_error(),
               "file too large for tf_full (524288000 bytes; max 67108864); use tf_text paging");
  tf_close(h);

  const std::string over = sparse_file(dir, "over.txt", kLimit + 1, "x");
  EXPECT_EQ(tf_open(over.c_str()), -1);
  EXPECT_STREQ(tf_last_error(), "file too large (524288001 bytes; max 524288000)");
}

}  // namespace
