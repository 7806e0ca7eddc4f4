// fork() while another thread is inside a call: the child copies only the
// forking thread, so a lock that thread held would stay locked there for
// good. The fork waits for the call instead, and the child's calls answer.
// Each child is waited for a bounded time and killed when it hangs, which
// fails the test rather than the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "frame/library_state.hpp"
#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

// The exit code of the child, or -1 when it did not end within 10 s.
int wait_bounded(pid_t child) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In the child: 0 when tf_info answers for `handle` and a save to
// `save_to` returns (and succeeds, when `must_save`).
[[noreturn]] void child_calls(int handle, const std::string& save_to, bool must_save) {
  char* info = tf_info(handle);
  const bool answered = info != nullptr;
  tf_free_string(info);
  const bool saved = tf_save_text("child", -1, save_to.c_str(), "utf8") == 1 || !must_save;
  std::_Exit(answered && saved ? 0 : 1);
}

TEST(Fork, ChildAnswersWhileAnotherThreadHoldsTheTable) {
  TempDir dir;
  const int h = tf_open(dir.write("doc.txt", "some text\n").c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  // A call in flight, held by hand: the fork must wait for its end.
  std::atomic<bool> holding{false};
  std::thread call([&] {
    tf::TableLock lock;
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  while (!holding) std::this_thread::yield();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) child_calls(h, dir.file("from-child.txt"), true);
  call.join();
  EXPECT_EQ(wait_bounded(child), 0) << "the child's calls hung or failed";
  tf_close(h);
}

// A thread inside long queries and saves while the main thread forks: the
// child's calls answer, its save to the path the parent's thread is saving
// to included (which returns; two processes saving to one path may fail
// each other's saves, so only a hang counts).
TEST(Fork, ChildAnswersWhileQueriesAndSavesRun) {
  TempDir dir;
  const std::string text(std::size_t{8} << 20, 'a');
  const int h = tf_open(dir.write("big.txt", text).c_str());
  ASSERT_GE(h, 0) << tf_last_error();
  const std::string target = dir.file("saved.txt");
  std::atomic<bool> stop{false};
  std::thread busy([&] {
    const std::string query = std::string(300, 'a') + "b" + std::string(300, 'a');
    while (!stop) {
      char* found = tf_search(h, query.c_str(), 0, 10);
      tf_free_string(found);
      (void)tf_save(h, target.c_str(), "utf8");
    }
  });
  int hung = 0;
  for (int round = 0; round < 10 && hung == 0; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) child_calls(h, target, false);
    hung += wait_bounded(child) == 0 ? 0 : 1;
  }
  stop = true;
  busy.join();
  EXPECT_EQ(hung, 0) << "children whose calls hung or failed";
  tf_close(h);
}

}  // namespace
