// tf_open racing a thread that changes the file under it, without hooks:
// the path flips between a regular file and a FIFO, or the file is cut and
// rewritten in place. No open may block, and every answer must be one that
// some state of the file justifies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
};

std::string info_of(int h) {
  char* json = tf_info(h);
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

TEST(OpenRaces, PathFlippingBetweenFileAndFifoNeverBlocks) {
  TempDir dir;
  const std::string target = dir.file("doc.txt");
  const std::string content = "regular content\n";
  dir.write("doc.txt", content);
  std::atomic<bool> stop{false};
  // The FIFO and the file trade names atomically, back and forth.
  const std::string swap_name = dir.file("other");
  ASSERT_EQ(::mkfifo(swap_name.c_str(), 0600), 0);
  if (::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, swap_name.c_str(), RENAME_EXCHANGE) != 0) {
    GTEST_SKIP() << "this file system cannot exchange two names";
  }
  // Back-to-back exchanges starve path lookups; a short random pause after
  // each leaves the opening thread windows on both sides of a swap.
  std::thread flipper([&] {
    unsigned seed = 12345;
    while (!stop.load()) {
      ::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, swap_name.c_str(), RENAME_EXCHANGE);
      seed = seed * 1103515245u + 12345u;
      ::usleep((seed >> 16) % 40);
    }
  });
  int opened = 0;
  int refused = 0;
  int other = 0;
  std::string first_other;
  {
    Watchdog watchdog(120);
    // Until both answers have come often enough, within a fixed number of opens.
    for (int i = 0; i < 20000 && (i < 3000 || opened < 200 || refused < 200); ++i) {
      const int h = tf_open(target.c_str());
      if (h >= 0) {
        ++opened;
        const std::string info = info_of(h);
        if (info.find(R"("bytes":16,"raw_bytes":16,)") == std::string::npos) {
          ++other;
          if (first_other.empty()) first_other = info;
        }
        tf_close(h);
      } else if (std::string(tf_last_error()) == "'" + target + "' is not a regular file") {
        ++refused;
      } else {
        ++other;
        if (first_other.empty()) first_other = tf_last_error();
      }
    }
  }
  stop = true;
  flipper.join();
  std::printf("[races] file/FIFO flips: %d opened, %d refused as not regular\n", opened, refused);
  EXPECT_EQ(other, 0) << first_other;
}

TEST(OpenRaces, FileCutAndRewrittenInPlace) {
  TempDir dir;
  const std::string content(64 * 1024, 'x');
  const std::string target = dir.write("doc.txt", content);
  std::atomic<bool> stop{false};
  std::thread rewriter([&] {
    const int fd = ::open(target.c_str(), O_WRONLY);
    unsigned seed = 6789;
    while (!stop.load()) {
      if (::ftruncate(fd, 0) != 0) break;
      seed = seed * 1103515245u + 12345u;
      ::usleep((seed >> 16) % 20);
      std::size_t done = 0;
      while (done < content.size()) {
        const std::size_t chunk = content.size() - done < 4096 ? content.size() - done : 4096;
        const ssize_t n = ::pwrite(fd, content.data() + done, chunk, static_cast<off_t>(done));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
        seed = seed * 1103515245u + 12345u;
        ::usleep((seed >> 16) % 20);
      }
    }
    ::close(fd);
  });
  int opened = 0;
  int short_reads = 0;
  int other = 0;
  std::string first_other;
  {
    Watchdog watchdog(120);
    for (int i = 0; i < 20000 && (i < 2000 || short_reads < 50); ++i) {
      const int h = tf_open(target.c_str());
      if (h >= 0) {
        ++opened;
        // Whatever size the status query saw, that many 'x' bytes were read.
        const std::string info = info_of(h);
        const auto at = info.find(R"("bytes":)");
        const auto raw = info.find(R"("raw_bytes":)");
        const std::string bytes = info.substr(at + 8, info.find(',', at) - at - 8);
        const std::string raw_bytes = info.substr(raw + 12, info.find(',', raw) - raw - 12);
        char* full = tf_full(h);
        const std::string text = full != nullptr ? full : "NULL";
        tf_free_string(full);
        if (bytes != raw_bytes || std::stoull(bytes) > content.size() ||
            info.find(R"("sanitized":0)") == std::string::npos ||
            text != content.substr(0, std::stoull(bytes))) {
          ++other;
          if (first_other.empty()) first_other = info;
        }
        tf_close(h);
      } else if (std::string(tf_last_error()) == "short read on '" + target + "'") {
        ++short_reads;
      } else {
        ++other;
        if (first_other.empty()) first_other = tf_last_error();
      }
    }
  }
  stop = true;
  rewriter.join();
  std::printf("[races] file cut and rewritten: %d opened, %d short reads\n", opened, short_reads);
  EXPECT_EQ(other, 0) << first_other;
}

}  // namespace
