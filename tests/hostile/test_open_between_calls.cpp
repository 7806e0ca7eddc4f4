// tf_open when the file changes between the library's own calls, made
// deterministic by hooking stat/open/fstat/read: whatever happens there, the
// open never blocks, reports the documented message, holds no slot and
// leaves no memory behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "hostile/io_hooks.hpp"
#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

std::string info_of(int h) {
  char* json = tf_info(h);
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

// Fails the test (by SIGALRM) instead of hanging when an open blocks.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
};

// The slot table is as the test left it: the next open gets handle 0.
void expect_no_slot_taken(const TempDir& dir) {
  const int h = tf_open(dir.write("probe.txt", "p").c_str());
  EXPECT_EQ(h, 0) << tf_last_error();
  tf_close(h);
}

struct Outcome {
  int handle;
  std::string message;
  tf_hook::Counts counts;
};

Outcome open_hooked(tf_hook::Hooks hooks) {
  const std::string path = hooks.path;
  tf_hook::install(std::move(hooks));
  Outcome o;
  {
    Watchdog watchdog(10);
    o.handle = tf_open(path.c_str());
  }
  o.counts = tf_hook::remove();
  o.message = tf_last_error();
  return o;
}

TEST(OpenBetweenCalls, FifoSwappedInAfterTheStatusQueryCannotBlock) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "regular");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.before_open = [&] { ASSERT_EQ(::rename(fifo.c_str(), target.c_str()), 0); };
  const Outcome o = open_hooked(hooks);
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.message, "'" + target + "' is not a regular file");
  EXPECT_EQ(o.counts.stats, 1);
  EXPECT_EQ(o.counts.opens, 1);
  EXPECT_EQ(o.counts.reads, 0) << "nothing may be read from a FIFO";
  expect_no_slot_taken(dir);
}

TEST(OpenBetweenCalls, DirectorySwappedInAfterTheStatusQuery) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "regular");
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.before_open = [&] {
    ASSERT_EQ(::unlink(target.c_str()), 0);
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
  };
  const Outcome o = open_hooked(hooks);
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.message, "'" + target + "' is a directory");
  EXPECT_EQ(o.counts.reads, 0);
  expect_no_slot_taken(dir);
}

TEST(OpenBetweenCalls, DeviceSwappedInAfterTheStatusQuery) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "regular");
  for (const char* device : {"/dev/zero", "/dev/null", "/dev/tty"}) {
    SCOPED_TRACE(device);
    dir.write("doc.txt", "regular");
    tf_hook::Hooks hooks;
    hooks.path = target;
    hooks.before_open = [&] {
      ASSERT_EQ(::unlink(target.c_str()), 0);
      ASSERT_EQ(::symlink(device, target.c_str()), 0);
    };
    const Outcome o = open_hooked(hooks);
    EXPECT_EQ(o.handle, -1);
    // A terminal this process cannot open fails the open itself.
    if (o.counts.fstats == 0) {
      EXPECT_EQ(o.message.rfind("cannot open '" + target + "': ", 0), 0u) << o.message;
    } else {
      EXPECT_EQ(o.message, "'" + target + "' is not a regular file");
    }
    EXPECT_EQ(o.counts.reads, 0);
    ASSERT_EQ(::unlink(target.c_str()), 0);
  }
  expect_no_slot_taken(dir);
}

TEST(OpenBetweenCalls, RemovedAfterTheStatusQuery) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "regular");
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.before_open = [&] { ASSERT_EQ(::unlink(target.c_str()), 0); };
  const Outcome o = open_hooked(hooks);
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.message, "cannot open '" + target + "': " + std::strerror(ENOENT));
  expect_no_slot_taken(dir);
}

TEST(OpenBetweenCalls, ShrinksBeforeTheRead) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", std::string(10000, 'x'));
  for (off_t left : {off_t{9999}, off_t{5000}, off_t{0}}) {
    SCOPED_TRACE(left);
    dir.write("doc.txt", std::string(10000, 'x'));
    tf_hook::Hooks hooks;
    hooks.path = target;
    hooks.after_open = [&] { ASSERT_EQ(::truncate(target.c_str(), left), 0); };
    const Outcome o = open_hooked(hooks);
    EXPECT_EQ(o.handle, -1);
    EXPECT_EQ(o.message, "short read on '" + target + "'");
    expect_no_slot_taken(dir);
  }
}

TEST(OpenBetweenCalls, GrowsBeforeTheRead) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "line one\n");
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.after_open = [&] {
    const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "line two\n", 9), 9);
    ::close(fd);
  };
  const Outcome o = open_hooked(hooks);
  ASSERT_EQ(o.handle, 0) << o.message;
  // The file is read to its end: the bytes added after the status query too.
  EXPECT_EQ(info_of(o.handle),
            R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":18,"raw_bytes":18,)"
            R"("lines":2,"sanitized":0})");
  tf_close(o.handle);
}

TEST(OpenBetweenCalls, ReadsInPiecesAndAfterInterruptions) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string target = dir.write("doc.txt", text);
  int calls = 0;
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.read = [&](int fd, void* buffer, std::size_t n, auto real) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return real(fd, buffer, n < 7 ? n : 7);
  };
  const Outcome o = open_hooked(hooks);
  ASSERT_EQ(o.handle, 0) << o.message;
  EXPECT_GT(o.counts.reads, 500);
  EXPECT_NE(info_of(o.handle).find(R"("lines":500,)"), std::string::npos);
  tf_close(o.handle);
}

TEST(OpenBetweenCalls, ReadErrorIsAShortRead) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", std::string(5000, 'y'));
  for (const int after : {0, 1, 3}) {
    SCOPED_TRACE(after);
    int calls = 0;
    tf_hook::Hooks hooks;
    hooks.path = target;
    hooks.read = [&](int fd, void* buffer, std::size_t n, auto real) -> ssize_t {
      if (calls++ >= after) {
        errno = EIO;
        return -1;
      }
      return real(fd, buffer, n < 100 ? n : 100);
    };
    const Outcome o = open_hooked(hooks);
    EXPECT_EQ(o.handle, -1);
    EXPECT_EQ(o.message, "short read on '" + target + "'");
    EXPECT_EQ(o.counts.reads, after + 1) << "an error ends the read";
    expect_no_slot_taken(dir);
  }
}

TEST(OpenBetweenCalls, StatusOfTheOpenedFileFails) {
  TempDir dir;
  const std::string target = dir.write("doc.txt", "abc");
  tf_hook::Hooks hooks;
  hooks.path = target;
  hooks.fstat_errno = EIO;
  const Outcome o = open_hooked(hooks);
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.message, "cannot open '" + target + "': " + std::strerror(EIO));
  EXPECT_EQ(o.counts.reads, 0);
  expect_no_slot_taken(dir);
}

}  // namespace
