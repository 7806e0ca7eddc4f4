// tf_open on paths a hostile or careless caller may pass: special files,
// symbolic-link loops, paths beyond the system's limit, files whose size
// says more or less than they hold. Each gives its documented answer at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

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

std::string cut(const std::string& message) { return message.substr(0, 511); }

class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
};

void expect_next_handle_is_zero(const TempDir& dir) {
  const int h = tf_open(dir.write("probe.txt", "p").c_str());
  EXPECT_EQ(h, 0) << tf_last_error();
  tf_close(h);
}

TEST(HostileOpen, SpecialFilesAreRefusedWithoutReading) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socket_path = dir.file("sock");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string link_to_zero = dir.file("zero-link");
  ASSERT_EQ(::symlink("/dev/zero", link_to_zero.c_str()), 0);
  const std::string link_to_fifo = dir.file("fifo-link");
  ASSERT_EQ(::symlink(fifo.c_str(), link_to_fifo.c_str()), 0);

  const std::string not_regular[] = {"/dev/zero", "/dev/null",  "/dev/urandom", fifo,
                                     socket_path, link_to_zero, link_to_fifo};
  Watchdog watchdog(20);
  for (const std::string& path : not_regular) {
    SCOPED_TRACE(path);
    EXPECT_EQ(tf_open(path.c_str()), -1);
    EXPECT_EQ(std::string(tf_last_error()), "'" + path + "' is not a regular file");
  }
  for (const std::string& path : {std::string("/"), std::string("/proc/self"), dir.path() + "/."}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(tf_open(path.c_str()), -1);
    EXPECT_EQ(std::string(tf_last_error()), "'" + path + "' is a directory");
  }
  ::close(sock);
  expect_next_handle_is_zero(dir);
}

TEST(HostileOpen, SymbolicLinkLoops) {
  TempDir dir;
  const std::string a = dir.file("a");
  const std::string b = dir.file("b");
  const std::string self = dir.file("self");
  ASSERT_EQ(::symlink(b.c_str(), a.c_str()), 0);
  ASSERT_EQ(::symlink(a.c_str(), b.c_str()), 0);
  ASSERT_EQ(::symlink("self", self.c_str()), 0);
  const std::string dangling = dir.file("dangling");
  ASSERT_EQ(::symlink("nowhere", dangling.c_str()), 0);
  for (const std::string& path : {a, b, self, self + "/x"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(tf_open(path.c_str()), -1);
    EXPECT_EQ(std::string(tf_last_error()), "cannot open '" + path + "': " + std::strerror(ELOOP));
  }
  EXPECT_EQ(tf_open(dangling.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot open '" + dangling + "': " + std::strerror(ENOENT));
  expect_next_handle_is_zero(dir);
}

TEST(HostileOpen, PathsAtAndBeyondTheSystemLimit) {
  TempDir dir;
  const std::string file = "f.txt";
  dir.write(file, "tiny\n");
  // dir/./././.../f.txt names the same file at any length.
  auto padded = [&](std::size_t total) {
    std::string p = dir.path() + "/";
    while (p.size() + file.size() + 2 <= total) p += "./";
    if (p.size() + file.size() < total) p += "/";  // "//" names the same directory
    return p + file;
  };
  const std::string longest = padded(PATH_MAX - 1);
  ASSERT_EQ(longest.size(), static_cast<std::size_t>(PATH_MAX - 1));
  const int h = tf_open(longest.c_str());
  ASSERT_EQ(h, 0) << cut(tf_last_error());
  EXPECT_NE(info_of(h).find(R"("bytes":5,)"), std::string::npos);
  tf_close(h);

  for (std::size_t length : {std::size_t{PATH_MAX}, std::size_t{PATH_MAX + 1}, std::size_t{10000},
                             std::size_t{1000000}}) {
    SCOPED_TRACE(length);
    const std::string too_long = padded(length);
    ASSERT_GE(too_long.size(), length);
    EXPECT_EQ(tf_open(too_long.c_str()), -1);
    EXPECT_EQ(std::string(tf_last_error()),
              cut("cannot open '" + too_long + "': " + std::strerror(ENAMETOOLONG)));
  }
  // One component longer than a directory entry may be.
  const std::string long_name = dir.file(std::string(NAME_MAX + 1, 'n'));
  EXPECT_EQ(tf_open(long_name.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            cut("cannot open '" + long_name + "': " + std::strerror(ENAMETOOLONG)));
  expect_next_handle_is_zero(dir);
}

// Kernel files report a size of 4096 and hold fewer bytes: fewer bytes
// arrive than the status query promised.
TEST(HostileOpen, FileHoldingLessThanItsSize) {
  const char* const candidates[] = {"/sys/kernel/mm/transparent_hugepage/enabled",
                                    "/sys/kernel/uevent_seqnum", "/sys/power/state",
                                    "/sys/kernel/profiling"};
  const char* chosen = nullptr;
  for (const char* path : candidates) {
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 4096) continue;
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got >= 0 && got < 4096) {
      chosen = path;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no /sys file that holds less than its size here";
  EXPECT_EQ(tf_open(chosen), -1);
  EXPECT_EQ(std::string(tf_last_error()), std::string("short read on '") + chosen + "'");
  TempDir dir;
  expect_next_handle_is_zero(dir);
}

// Files of /proc report a size of 0 and hold more: they are read to their
// end, not taken for empty.
TEST(HostileOpen, FileHoldingMoreThanItsSize) {
  struct stat st;
  if (::stat("/proc/self/status", &st) != 0 || st.st_size != 0) {
    GTEST_SKIP() << "no /proc here";
  }
  const int h = tf_open("/proc/self/status");
  ASSERT_EQ(h, 0) << tf_last_error();
  char* text = tf_full(h);
  ASSERT_NE(text, nullptr);
  const std::string full = text;
  tf_free_string(text);
  EXPECT_EQ(full.rfind("Name:\t", 0), 0u) << full;
  EXPECT_NE(full.find("\nPid:\t"), std::string::npos);
  const std::string size = std::to_string(full.size());
  EXPECT_EQ(info_of(h).rfind(R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":)" +
                                 size + R"(,"raw_bytes":)" + size + ",",
                             0),
            0u)
      << info_of(h);
  tf_close(h);
}

TEST(HostileOpen, EmptyPathAndOddBytes) {
  EXPECT_EQ(tf_open(""), -1);
  EXPECT_EQ(std::string(tf_last_error()), std::string("cannot open '': ") + std::strerror(ENOENT));
  const std::string odd = "/nonexistent/\x01\x7F\xFF\xC3(%s%n%d";
  EXPECT_EQ(tf_open(odd.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "cannot open '" + odd + "': " + std::strerror(ENOENT));
}

}  // namespace
