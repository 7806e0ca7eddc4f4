// A save killed at a random moment: a child process saves a large text over
// an existing target and is killed with SIGKILL while it works; afterwards
// the target holds exactly the old bytes or exactly the new ones, never a
// mix, a truncation or nothing. Seeded, so a failing run can be repeated.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

// Starts a child that saves `text` to `target` and signals the parent just
// before the call. Returns its pid once it is about to save.
pid_t start_save(const std::string& text, const std::string& target, const char* encoding) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    const char go = 'g';
    if (::write(ready[1], &go, 1) != 1) ::_exit(3);
    const int rc =
        tf_save_text(text.data(), static_cast<int>(text.size()), target.c_str(), encoding);
    ::_exit(rc == 1 ? 0 : 2);
  }
  ::close(ready[1]);
  char go = 0;
  if (pid > 0 && ::read(ready[0], &go, 1) != 1) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    return -1;
  }
  ::close(ready[0]);
  return pid;
}

void sleep_for(std::chrono::microseconds us) {
  const timespec ts{static_cast<time_t>(us.count() / 1000000),
                    static_cast<long>(us.count() % 1000000) * 1000};
  ::nanosleep(&ts, nullptr);
}

TEST(SaveCrash, KilledSaveLeavesOldOrNewBytes) {
  TempDir dir;
  const std::string target = dir.file("target.txt");
  // Old and new differ in every line, so any mix of the two shows.
  std::string old_text;
  while (old_text.size() < 3u * 1024 * 1024)
    old_text += "old line " + std::to_string(old_text.size()) + "\n";
  std::string new_text;
  while (new_text.size() < 24u * 1024 * 1024) {
    new_text += "new line \xC3\xA9 " + std::to_string(new_text.size()) + "\n";
  }
  const char* const encodings[] = {"utf8", "utf16le"};
  const std::string new_bytes[] = {new_text, tf_ref::utf16le_encode(new_text).bytes};

  std::mt19937 random(20240601);
  int kept_old = 0;
  int got_new = 0;
  int runs = 0;
  for (int e = 0; e < 2; ++e) {
    // How long an undisturbed save takes here: the kill moments spread over it.
    dir.write("target.txt", old_text);
    const auto started = std::chrono::steady_clock::now();
    const pid_t whole = start_save(new_text, target, encodings[e]);
    ASSERT_GT(whole, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(whole, &status, 0), whole);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an undisturbed save failed";
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_EQ(tf_test::read_file(target), new_bytes[e]);
    std::uniform_int_distribution<long> moment(0, took.count() * 6 / 5);

    for (int run = 0; run < 20; ++run) {
      SCOPED_TRACE(std::string(encodings[e]) + " run " + std::to_string(run));
      dir.write("target.txt", old_text);
      const pid_t pid = start_save(new_text, target, encodings[e]);
      ASSERT_GT(pid, 0);
      sleep_for(std::chrono::microseconds(moment(random)));
      ::kill(pid, SIGKILL);
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      ++runs;
      const std::string now = tf_test::read_file(target);
      if (now == old_text) {
        ++kept_old;
      } else if (now == new_bytes[e]) {
        ++got_new;
      } else {
        ADD_FAILURE() << "the target holds " << now.size() << " bytes that are neither the old "
                      << old_text.size() << " nor the new " << new_bytes[e].size();
      }
    }
  }
  // A killed save may leave its temporary file; the next save replaces it and
  // leaves none.
  ASSERT_EQ(tf_save_text("done", -1, target.c_str(), "utf8"), 1) << tf_last_error();
  EXPECT_EQ(tf_test::read_file(target), "done");
  EXPECT_FALSE(tf_test::file_exists(target + ".tmp"));
  std::printf(
      "[crash] %d saves killed at random moments: %d left the old bytes, %d the new, "
      "none anything else\n",
      runs, kept_old, got_new);
}

}  // namespace
