// Many threads opening, querying and closing at once never share a handle
// and never see another thread's document.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

TEST(Threads, ConcurrentOpensNeverShareAHandle) {
  tf_test::TempDir dir;
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<std::string> paths;
  for (int t = 0; t < kThreads; ++t) {
    paths.push_back(dir.write("f" + std::to_string(t), std::string(t + 1, 'x')));
  }
  std::atomic<int> owner[64] = {};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        const int h = tf_open(paths[t].c_str());
        if (h < 0 || h >= 64) {
          ++failures;
          continue;
        }
        int expected = 0;
        if (!owner[h].compare_exchange_strong(expected, t + 1)) ++failures;
        char* json = tf_info(h);
        std::string want = "\"bytes\":";
        want += std::to_string(t + 1);
        want += ',';
        if (json == nullptr || std::string(json).find(want) == std::string::npos) ++failures;
        tf_free_string(json);
        owner[h].store(0);
        tf_close(h);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
