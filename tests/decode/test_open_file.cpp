// tf_open through the public API: every failure with its exact message, and
// the facts a successful open records.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

#if defined(_WIN32)
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
#endif

std::string info_of(int h) {
  char* json = tf_info(h);
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

TEST(Open, EmptyFileIsEmptyUtf8) {
  TempDir dir;
  const int h = tf_open(dir.write("empty.txt", "").c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  EXPECT_EQ(info_of(h),
            R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":0,"raw_bytes":0,)"
            R"("lines":0,"sanitized":0})");
  tf_close(h);
}

TEST(Open, RecordsEncodingBomLineEndingAndSizes) {
  TempDir dir;
  struct {
    std::string bytes;
    const char* info;
  } const cases[] = {
      {"ab\ncd\nef\n",
       R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":9,"raw_bytes":9,"lines":3,"sanitized":0})"},
      {std::string("\xFF\xFEh\0i\0", 6),
       R"({"encoding":"utf16le","had_bom":1,"line_ending":"lf","bytes":2,"raw_bytes":6,"lines":1,"sanitized":0})"},
      {std::string("\xFF\xFE\r\0\n\0", 6),
       R"({"encoding":"utf16le","had_bom":1,"line_ending":"crlf","bytes":2,"raw_bytes":6,"lines":1,"sanitized":0})"},
      {"\xEF\xBB\xBFhi\r\xFF",
       R"({"encoding":"utf8-bom","had_bom":1,"line_ending":"cr","bytes":6,"raw_bytes":7,"lines":2,"sanitized":1})"},
      {"caf\xE9\r\n\n",
       R"({"encoding":"ansi","had_bom":0,"line_ending":"mixed","bytes":8,"raw_bytes":7,"lines":2,"sanitized":0})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const int h = tf_open(dir.write("f.txt", c.bytes).c_str());
    ASSERT_GE(h, 0) << tf_last_error();
    EXPECT_EQ(info_of(h), c.info);
    tf_close(h);
  }
}

TEST(Open, FailuresCarryTheirExactMessages) {
  TempDir dir;
  const std::string missing = dir.file("missing.txt");
  EXPECT_EQ(tf_open(missing.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot open '" + missing + "': " + std::strerror(ENOENT));

  EXPECT_EQ(tf_open(dir.path().c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "'" + dir.path() + "' is a directory");

  EXPECT_EQ(tf_open(kNullDevice), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "'" + std::string(kNullDevice) + "' is not a regular file");

#if !defined(_WIN32)
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(tf_open(fifo.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "'" + fifo + "' is not a regular file");
#endif

  EXPECT_EQ(tf_open(nullptr), -1);
  EXPECT_STREQ(tf_last_error(), "path is NULL");
}

// Links and permission bits: POSIX file systems (Windows' links need a
// privilege, and its permissions are ACLs).
#if !defined(_WIN32)
TEST(Open, SymlinkLoopReportsTheSystemText) {
  TempDir dir;
  const std::string a = dir.file("loop_a");
  const std::string b = dir.file("loop_b");
  ASSERT_EQ(::symlink(b.c_str(), a.c_str()), 0);
  ASSERT_EQ(::symlink(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(tf_open(a.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "cannot open '" + a + "': " + std::strerror(ELOOP));
  const std::string self = dir.file("self");
  ASSERT_EQ(::symlink(self.c_str(), self.c_str()), 0);
  EXPECT_EQ(tf_open(self.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot open '" + self + "': Too many levels of symbolic links");
}

TEST(Open, SymlinksAreFollowed) {
  TempDir dir;
  const std::string target = dir.write("target.txt", "a\r\nb");
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  const int h = tf_open(link.c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  EXPECT_EQ(info_of(h),
            R"({"encoding":"utf8","had_bom":0,"line_ending":"crlf","bytes":4,"raw_bytes":4,)"
            R"("lines":2,"sanitized":0})");
  tf_close(h);

  const std::string dangling = dir.file("dangling.txt");
  ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dangling.c_str()), 0);
  EXPECT_EQ(tf_open(dangling.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot open '" + dangling + "': No such file or directory");

  const std::string to_dir = dir.file("to_dir");
  ASSERT_EQ(::symlink(dir.path().c_str(), to_dir.c_str()), 0);
  EXPECT_EQ(tf_open(to_dir.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "'" + to_dir + "' is a directory");
}

TEST(Open, UnreadableFileReportsTheSystemText) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  const std::string p = dir.write("secret.txt", "x");
  ASSERT_EQ(::chmod(p.c_str(), 0), 0);
  EXPECT_EQ(tf_open(p.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "cannot open '" + p + "': " + std::strerror(EACCES));
}
#endif

TEST(Open, SizeLimitIsExactly500MiB) {
  TempDir dir;
  const std::string p = dir.file("sparse.bin");
  dir.write("sparse.bin", "");
  std::filesystem::resize_file(p, 524288001);
  EXPECT_EQ(tf_open(p.c_str()), -1);
  EXPECT_STREQ(tf_last_error(), "file too large (524288001 bytes; max 524288000)");
}

TEST(Open, LastErrorIsEmptiedByOpenAndKeptBySuccess) {
  TempDir dir;
  const std::string good = dir.write("good.txt", "x");
  EXPECT_EQ(tf_open(nullptr), -1);
  EXPECT_STREQ(tf_last_error(), "path is NULL");
  char* json = tf_info(-1);  // a later failure replaces the message
  EXPECT_EQ(json, nullptr);
  EXPECT_STREQ(tf_last_error(), "invalid handle");

  const int h = tf_open(good.c_str());
  ASSERT_GE(h, 0);
  EXPECT_STREQ(tf_last_error(), "");

  EXPECT_EQ(tf_open(nullptr), -1);
  char* ok = tf_info(h);  // success leaves the failure's message in place
  ASSERT_NE(ok, nullptr);
  tf_free_string(ok);
  EXPECT_STREQ(tf_last_error(), "path is NULL");
  tf_close(h);
}

TEST(Open, LongMessagesAreCutTo511Bytes) {
  std::string path = "/nonexistent-dir/";
  path += std::string(1000, 'p');
  EXPECT_EQ(tf_open(path.c_str()), -1);
  const std::string message = tf_last_error();
  ASSERT_EQ(message.size(), 511u);
  EXPECT_EQ(message, ("cannot open '" + path).substr(0, 511));
}

TEST(Open, SamePathTwiceGivesIndependentHandles) {
  TempDir dir;
  const std::string p = dir.write("twice.txt", "twice\n");
  const int a = tf_open(p.c_str());
  const int b = tf_open(p.c_str());
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_NE(a, b);
  tf_close(a);
  EXPECT_EQ(info_of(b).substr(0, 19), R"({"encoding":"utf8",)");
  tf_close(b);
}

TEST(Open, TextIsTakenAtOpenTime) {
  TempDir dir;
  const std::string p = dir.write("changing.txt", "first");
  const int h = tf_open(p.c_str());
  ASSERT_GE(h, 0);
  dir.write("changing.txt", "second version\n\n");
  EXPECT_NE(info_of(h).find(R"("bytes":5,)"), std::string::npos);
  tf_close(h);
}

}  // namespace
