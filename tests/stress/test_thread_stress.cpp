// Many threads doing random opens, queries, saves and closes at once, on
// handles shared by all of them, on private ones, and on handles another
// thread closes while they are being queried. Every answer is checked
// against what the handle's file gives when asked alone. A fixed number of
// operations per thread, seeded: the interleaving varies, the work does not.
//
// The last-error buffer is shared by the whole process, so no message is
// checked here: any thread's failure may replace it at any time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

constexpr int kThreads = 8;
constexpr int kOperationsPerThread = 1200;

// One query of a handle, answered as a string ("NULL" for a failure).
struct Query {
  const char* name;
  std::function<char*(int)> ask;
};

std::vector<Query> queries() {
  std::vector<Query> q = {
      {"info", [](int h) { return tf_info(h); }},
      {"full", [](int h) { return tf_full(h); }},
      {"stats", [](int h) { return tf_stats(h); }},
      {"text 0 7", [](int h) { return tf_text(h, 0, 7); }},
      {"text 5 100", [](int h) { return tf_text(h, 5, 100); }},
      {"text -3 max", [](int h) { return tf_text(h, -3, INT32_MAX); }},
      {"linecol 0", [](int h) { return tf_linecol(h, 0); }},
      {"linecol 9", [](int h) { return tf_linecol(h, 9); }},
      {"linecol max", [](int h) { return tf_linecol(h, INT64_MAX); }},
      {"search x", [](int h) { return tf_search(h, "x", 0, 0); }},
      {"search folded", [](int h) { return tf_search(h, "L", 1, INT32_MAX); }},
      {"search limited", [](int h) { return tf_search(h, "xx", 0, 3); }},
      {"replace", [](int h) { return tf_replace_preview(h, "l", "LL", 0); }},
      {"replace folded", [](int h) { return tf_replace_preview(h, "X", "", 1); }},
  };
  return q;
}

std::string answer(char* result) {
  std::string out = result != nullptr ? result : "NULL";
  tf_free_string(result);
  return out;
}

struct Doc {
  std::string path;
  std::string text;                  // decoded, as tf_full gives it
  std::vector<std::string> answers;  // one per query
};

std::string encoded(const std::string& text, const std::string& encoding) {
  if (encoding == "utf8-bom") return "\xEF\xBB\xBF" + text;
  if (encoding == "utf16le") return tf_ref::utf16le_encode(text).bytes;
  return text;
}

TEST(ThreadStress, RandomOperationsOnSharedPrivateAndClosingHandles) {
  TempDir dir;
  TempDir save_dir;
  const std::vector<std::string> contents = {
      "short\n",
      "ab\ncd\r\nh\xC3\xA9llo\rworld\n",
      "\xEF\xBB\xBF"
      "bom text \xE2\x82\xAC with a mark\r\n\r\nand more",
      std::string("\xFF\xFE"
                  "h\0i\0\r\0\n\0\x3D\xD8\x00\xDE",
                  12),
      "caf\xE9 ansi \x80\xFF\n",
      std::string(5000, 'x') + "\n" + std::string(3000, 'y'),
      "",
  };
  const std::vector<Query> q = queries();
  std::vector<Doc> docs;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    Doc d;
    d.path = dir.write("doc" + std::to_string(i) + ".txt", contents[i]);
    const int h = tf_open(d.path.c_str());
    ASSERT_GE(h, 0) << tf_last_error();
    d.text = answer(tf_full(h));
    for (const Query& query : q) d.answers.push_back(answer(query.ask(h)));
    tf_close(h);
    docs.push_back(d);
  }

  // Shared handles: open for the whole run, queried by everyone.
  std::vector<int> shared;
  for (const Doc& d : docs) shared.push_back(tf_open(d.path.c_str()));
  // Handles that closer threads open and close while others query them.
  std::atomic<int> victims[2] = {-1, -1};

  std::atomic<long> operations{0};
  std::atomic<long> closed_under_query{0};
  std::atomic<long> saves{0};
  std::atomic<int> mismatches{0};
  std::vector<std::string> first_mismatch(kThreads);

  auto worker = [&](int t) {
    std::mt19937 random(1000 + t);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    auto mismatch = [&](const std::string& what) {
      if (mismatches.fetch_add(1) == 0 || first_mismatch[t].empty()) first_mismatch[t] = what;
    };
    const std::string save_target = save_dir.file("save" + std::to_string(t) + ".txt");
    const bool closer = t < 2;  // threads 0 and 1 also feed the victims
    int victim = -1;
    std::size_t victim_doc = 0;

    for (int op = 0; op < kOperationsPerThread; ++op) {
      operations.fetch_add(1, std::memory_order_relaxed);
      const std::size_t kind = pick(10);
      if (closer && kind == 0) {
        // Close the victim (others may be querying it) and open a new one.
        if (victim >= 0) {
          victims[t].store(-1);
          tf_close(victim);
        }
        victim_doc = pick(docs.size());
        victim = tf_open(docs[victim_doc].path.c_str());
        if (victim < 0) mismatch("open of a victim failed");
        // Half the time the handle is closed while still published.
        victims[t].store(victim);
        if (pick(2) == 0) {
          tf_close(victim);
          victim = -1;
        }
      } else if (kind <= 4) {
        const std::size_t d = pick(docs.size());
        const std::size_t k = pick(q.size());
        const std::string got = answer(q[k].ask(shared[d]));
        if (got != docs[d].answers[k]) mismatch(std::string("shared ") + q[k].name + ": " + got);
      } else if (kind <= 6) {
        // A private handle: opened, asked a few things, closed.
        const std::size_t d = pick(docs.size());
        const int h = tf_open(docs[d].path.c_str());
        if (h < 0) {
          mismatch("private open failed");
          continue;
        }
        for (int i = 0; i < 3; ++i) {
          const std::size_t k = pick(q.size());
          const std::string got = answer(q[k].ask(h));
          if (got != docs[d].answers[k]) mismatch(std::string("private ") + q[k].name + ": " + got);
        }
        tf_close(h);
      } else if (kind == 7) {
        // A handle someone else may close right now: the answer is a
        // failure or the answer of whatever document holds that slot.
        const int h = victims[pick(2)].load();
        if (h < 0) continue;
        const std::size_t k = pick(q.size());
        const std::string got = answer(q[k].ask(h));
        if (got == "NULL") {
          closed_under_query.fetch_add(1, std::memory_order_relaxed);
          continue;
        }
        bool known = false;
        for (const Doc& d : docs) known = known || got == d.answers[k];
        if (!known) mismatch(std::string("victim ") + q[k].name + ": " + got);
      } else if (kind == 8 && pick(3) == 0) {
        // Saving a handle that may be closed meanwhile: invalid, or the bytes
        // of whatever document held the slot when the text was copied.
        const int h = victims[pick(2)].load();
        if (h < 0) continue;
        const char* encoding = pick(2) == 0 ? "utf8" : "utf16le";
        const int rc = tf_save(h, save_target.c_str(), encoding);
        saves.fetch_add(1, std::memory_order_relaxed);
        if (rc != 1) {
          closed_under_query.fetch_add(1, std::memory_order_relaxed);
          continue;
        }
        const std::string saved = tf_test::read_file(save_target);
        bool known = false;
        for (const Doc& d : docs) known = known || saved == encoded(d.text, encoding);
        if (!known) mismatch(std::string("saved victim bytes differ, ") + encoding);
      } else if (kind == 8) {
        const std::size_t d = pick(docs.size());
        const char* encoding = pick(3) == 0 ? "utf8" : pick(2) == 0 ? "utf8-bom" : "utf16le";
        const int rc =
            pick(2) == 0 ? tf_save(shared[d], save_target.c_str(), encoding)
                         : tf_save_text(docs[d].text.data(), static_cast<int>(docs[d].text.size()),
                                        save_target.c_str(), encoding);
        saves.fetch_add(1, std::memory_order_relaxed);
        if (rc != 1) {
          mismatch("save failed");
        } else if (tf_test::read_file(save_target) != encoded(docs[d].text, encoding)) {
          mismatch(std::string("saved bytes differ, ") + encoding);
        }
      } else {
        // Invalid handles answer nothing.
        const int bad =
            pick(2) == 0 ? -1 - static_cast<int>(pick(1000)) : 64 + static_cast<int>(pick(1000));
        if (tf_info(bad) != nullptr || tf_close(bad) != 0) mismatch("invalid handle answered");
      }
    }
    if (victim >= 0) {
      victims[t].store(-1);
      tf_close(victim);
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (std::thread& th : threads) th.join();

  for (int h : shared) tf_close(h);
  for (const std::string& m : first_mismatch) {
    if (!m.empty()) ADD_FAILURE() << m;
  }
  EXPECT_EQ(mismatches.load(), 0);
  // Nothing is left open: the next open takes slot 0.
  const int probe = tf_open(docs[0].path.c_str());
  EXPECT_EQ(probe, 0);
  tf_close(probe);
  std::printf(
      "[threads] %d threads, %ld operations (%ld saves, %ld queries and saves of a handle "
      "closed under them), every answer checked\n",
      kThreads, operations.load(), saves.load(), closed_under_query.load());
}

}  // namespace
