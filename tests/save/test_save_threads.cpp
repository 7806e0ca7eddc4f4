// Closing a handle while its text is being saved does not disturb the save:
// the text is copied under the lock and written from the copy.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::read_file;
using tf_test::TempDir;

TEST(SaveThreads, CloseDuringSaveDoesNotDisturbIt) {
  TempDir dir;
  std::mt19937 rng(7);
  const char* pieces[] = {"plain words and more words ", "\xC3\xA9t\xC3\xA9 ", "\xE2\x82\xAC ",
                          "\xF0\x9F\x98\x80", "\r\n"};
  std::string text;
  while (text.size() < 24u * 1024 * 1024) text += pieces[rng() % 5];
  const std::string source = dir.write("big.txt", text);
  const std::string want = tf_ref::utf16le_encode(text).bytes;

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const int h = tf_open(source.c_str());
    ASSERT_GE(h, 0) << tf_last_error();
    const std::string target = dir.file("saved-" + std::to_string(round));
    std::atomic<bool> done{false};
    int result = 0;
    std::thread saver([&] {
      result = tf_save(h, target.c_str(), "utf16le");
      done = true;
    });
    // The temporary file appears once the text has been copied and the lock
    // released; the handle is closed while the save encodes and writes.
    while (!done && !tf_test::file_exists(target + ".tmp")) std::this_thread::yield();
    EXPECT_FALSE(done.load()) << "the save ended before it was seen running";
    EXPECT_EQ(tf_close(h), 0);
    char* info = tf_info(h);
    EXPECT_EQ(info, nullptr);
    saver.join();
    ASSERT_EQ(result, 1) << tf_last_error();
    EXPECT_TRUE(read_file(target) == want);
  }
}

}  // namespace
