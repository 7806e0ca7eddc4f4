// Closing a handle while its text is being saved does not disturb the save:
// the text is lent under the lock and stays alive until the save is done.
// Threads saving to one path take turns: each save succeeds, and the target
// ends as exactly one of them wrote it.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <pthread.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

// The whole content of a file, read in large blocks (the text is big).
std::string read_big(const std::string& path) {
  std::string out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char block[1 << 16];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) out.append(block, n);
    std::fclose(f);
  }
  return out;
}

TEST(SaveThreads, CloseDuringSaveDoesNotDisturbIt) {
  TempDir dir;
  // Whole sequences only, so that the encoding of the text is the encoding
  // of its unit repeated.
  const std::string unit =
      "plain words and more words \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\r\n";
  const std::string unit_encoded = tf_ref::utf16le_encode(unit).bytes.substr(2);
  std::string text;
  std::string want = "\xFF\xFE";
  while (text.size() < 16u * 1024 * 1024) {
    text += unit;
    want += unit_encoded;
  }
  const std::string source = dir.write("big.txt", text);

  // The close must land while the save runs; on a busy machine the save
  // may be over before this thread looks, so it gets a few attempts.
  bool closed_during_save = false;
  for (int attempt = 0; attempt < 5 && !closed_during_save; ++attempt) {
    SCOPED_TRACE(attempt);
    const int h = tf_open(source.c_str());
    ASSERT_GE(h, 0) << tf_last_error();
    const std::string target = dir.file("saved-" + std::to_string(attempt));
    std::atomic<bool> done{false};
    int result = 0;
    std::thread saver([&] {
      result = tf_save(h, target.c_str(), "utf16le");
      done = true;
    });
    // The temporary file appears once the text has been copied and the lock
    // released; the handle is closed while the save encodes and writes.
    while (!done && !tf_test::file_exists(target + ".tmp")) std::this_thread::yield();
    closed_during_save = !done;
    EXPECT_EQ(tf_close(h), 0);
    char* info = tf_info(h);
    EXPECT_EQ(info, nullptr);
    saver.join();
    ASSERT_EQ(result, 1) << tf_last_error();
    EXPECT_TRUE(read_big(target) == want);
  }
  EXPECT_TRUE(closed_during_save);
}

// Three targets, three threads each; every thread spells its target in a
// string of its own, so turns must compare what the paths say, among all
// the saves running, not only the latest.
TEST(SaveThreads, SavesToOnePathTakeTurns) {
  TempDir dir;
  const std::string targets[] = {dir.file("shared-0.txt"), dir.file("shared-1.txt"),
                                 dir.file("shared-2.txt")};
  std::atomic<int> failures{0};
  for (int round = 0; round < 8; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 9; ++i) {
      threads.emplace_back([&, i] {
        const std::string own_path = targets[i % 3].c_str();
        const std::string text(std::size_t{1} << 19, static_cast<char>('a' + i));
        failures += tf_save_text(text.data(), -1, own_path.c_str(), "utf8") == 1 ? 0 : 1;
      });
    }
    for (std::thread& t : threads) t.join();
    for (const std::string& target : targets) {
      const std::string got = read_big(target);
      EXPECT_EQ(got, std::string(std::size_t{1} << 19, got.empty() ? '?' : got[0])) << round;
      EXPECT_FALSE(tf_test::file_exists(target + ".tmp"));
    }
  }
  std::printf("[save threads] 8 rounds of 9 saves to three paths: %d failed\n", failures.load());
  EXPECT_EQ(failures, 0) << tf_last_error();
}

#if !defined(_WIN32)
// A thread cancelled while it saves in a loop: the process lives on, the
// cancellation acts between two saves (at the loop's own cancellation
// point), and each save either completed or never began.
struct CancelledLoop {
  std::string target;
  std::string text;
  std::atomic<int> saved{0};
  std::atomic<int> failed{0};
};

void* save_until_cancelled(void* arg) {
  auto* loop = static_cast<CancelledLoop*>(arg);
  for (;;) {
    const int rc = tf_save_text(loop->text.data(), static_cast<int>(loop->text.size()),
                                loop->target.c_str(), "utf8");
    (rc == 1 ? loop->saved : loop->failed).fetch_add(1);
    ::pthread_testcancel();
  }
}

TEST(SaveThreads, CancelledThreadEndsBetweenSaves) {
  TempDir dir;
  CancelledLoop loop;
  loop.target = dir.file("t.txt");
  loop.text.assign(std::size_t{1} << 20, 'c');
  for (const int delay_us : {0, 300, 3000}) {
    pthread_t thread;
    ASSERT_EQ(::pthread_create(&thread, nullptr, save_until_cancelled, &loop), 0);
    ::usleep(static_cast<useconds_t>(delay_us));
    ASSERT_EQ(::pthread_cancel(thread), 0);
    void* result = nullptr;
    ASSERT_EQ(::pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED);
  }
  EXPECT_EQ(loop.failed.load(), 0) << tf_last_error();
  EXPECT_GT(loop.saved.load(), 0);
  EXPECT_EQ(tf_test::read_file(loop.target), loop.text);
  EXPECT_FALSE(tf_test::file_exists(loop.target + ".tmp"));
}
#endif

}  // namespace
