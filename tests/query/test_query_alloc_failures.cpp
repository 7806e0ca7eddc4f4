// Each allocation a query makes fails once in turn (the C heap is watched
// through the allocation probe): every call then either fails with its own
// message or returns exactly the full result, and leaves nothing allocated.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"
#include "support/alloc_probe.hpp"

namespace {

using tf_test::AllocProbe;
using tf_test::OpenText;

struct Sweep {
  const char* name;
  std::function<char*()> call;
  std::string expected;
  std::set<std::string> messages;
};

// The failure messages seen over the sweep.
std::set<std::string> run(const Sweep& s) {
  std::set<std::string> seen;
  SCOPED_TRACE(s.name);
  bool completed = false;
  std::size_t failures_seen = 0;
  for (std::size_t k = 1; k <= 64 && !completed; ++k) {
    SCOPED_TRACE(k);
    // Nothing inside the watched window allocates but the call itself.
    bool injected = false;
    bool returned = false;
    bool exact = false;
    std::size_t leaked = 0;
    char message[512] = {};
    {
      AllocProbe probe;
      probe.fail_nth(k);
      char* result = s.call();
      injected = probe.failure_injected();
      if (result != nullptr) {
        returned = true;
        exact = std::strcmp(result, s.expected.c_str()) == 0;
        tf_free_string(result);
      } else {
        std::strncpy(message, tf_last_error(), sizeof message - 1);
      }
      leaked = probe.live_blocks();
    }
    EXPECT_EQ(leaked, 0u);
    if (returned) {
      // A success is the whole result, never one with a member left out.
      EXPECT_TRUE(exact);
      completed = !injected;
    } else {
      EXPECT_TRUE(injected);
      EXPECT_EQ(s.messages.count(message), 1u) << message;
      seen.insert(message);
      ++failures_seen;
    }
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(failures_seen, 0u);
  return seen;
}

TEST(QueryAllocFailures, EveryAllocationOfEveryQuery) {
  if (!AllocProbe::available()) GTEST_SKIP() << "a sanitizer owns the heap";
  // Longer than the document's first string block, so the page text needs
  // an allocation of its own.
  const std::string text = std::string(700, 'x') + "\n" + std::string(300, 'y');
  OpenText file(text);
  const int h = file.handle();
  const std::string page = "{\"text\":\"" + std::string(700, 'x') + "\\n" + std::string(300, 'y') +
                           "\",\"next_offset\":1001}";
  const Sweep sweeps[] = {
      {"tf_text long page",
       [&] { return tf_text(h, 0, 5000); },
       page,
       {"out of memory"}},
      {"tf_text short page",
       [&] { return tf_text(h, 699, 3); },
       "{\"text\":\"x\\ny\",\"next_offset\":702}",
       {"out of memory"}},
      {"tf_full", [&] { return tf_full(h); }, text, {"out of memory"}},
      {"tf_stats",
       [&] { return tf_stats(h); },
       "{\"lines\":2,\"words\":2,\"chars\":1001,\"bytes\":1001}",
       {"failed to build stats"}},
      {"tf_linecol",
       [&] { return tf_linecol(h, 703); },
       "{\"line\":2,\"col\":3}",
       {"linecol failed"}},
  };
  for (const Sweep& s : sweeps) {
    // Every message the query can give under memory pressure occurs: tf_text
    // writes its page straight into the one buffer it returns, so its only
    // allocation reports "out of memory", as the page buffer always did when
    // memory ran out before the page was written.
    EXPECT_EQ(run(s), s.messages) << s.name;
  }
}

}  // namespace
