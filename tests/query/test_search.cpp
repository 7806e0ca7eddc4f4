// tf_search through the public API: the examples that pin its behaviour, the
// hit limit, the order of its failures, and a seeded comparison with the
// plain scan in reference/naive_search.hpp on real files.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"
#include "reference/naive_search.hpp"

namespace {

using tf_test::OpenText;
using tf_test::take_json;

std::string search(int handle, const char* query, int case_insensitive, int max_hits) {
  return take_json(tf_search(handle, query, case_insensitive, max_hits));
}

TEST(Search, Examples) {
  struct Case {
    std::string text;
    const char* query;
    int case_insensitive, max_hits;
    const char* json;
  } const cases[] = {
      {"abcabc", "bc", 0, 0,
       R"({"count":2,"query_len":2,"hits":[{"offset":1,"length":2},{"offset":4,"length":2}]})"},
      {"aaaa", "aa", 0, 0,
       R"({"count":3,"query_len":2,"hits":[{"offset":0,"length":2},{"offset":1,"length":2},)"
       R"({"offset":2,"length":2}]})"},
      {"aaaa", "a", 0, 2,
       R"({"count":2,"query_len":1,"hits":[{"offset":0,"length":1},{"offset":1,"length":1}]})"},
      {"Hello HELLO hello", "hello", 0, 0,
       R"({"count":1,"query_len":5,"hits":[{"offset":12,"length":5}]})"},
      {"Hello HELLO hello", "hello", 1, 0,
       R"({"count":3,"query_len":5,"hits":[{"offset":0,"length":5},{"offset":6,"length":5},)"
       R"({"offset":12,"length":5}]})"},
      {"Hello HELLO hello", "hELLo", 1, 0,
       R"({"count":3,"query_len":5,"hits":[{"offset":0,"length":5},{"offset":6,"length":5},)"
       R"({"offset":12,"length":5}]})"},
      // Only ASCII letters fold: 'é' (C3 A9) never matches 'É' (C3 89).
      {"\xC3\xA9 \xC3\x89", "\xC3\xA9", 1, 0,
       R"({"count":1,"query_len":2,"hits":[{"offset":0,"length":2}]})"},
      {"\xC3\xA9 \xC3\x89", "\xC3\x89", 1, 0,
       R"({"count":1,"query_len":2,"hits":[{"offset":3,"length":2}]})"},
      // 0x00 in the text is an ordinary byte and counts in the offsets.
      {std::string("a\0bab\0ab", 8), "ab", 0, 0,
       R"({"count":2,"query_len":2,"hits":[{"offset":3,"length":2},{"offset":6,"length":2}]})"},
      {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1, 0,
       R"({"count":1,"query_len":26,"hits":[{"offset":0,"length":26}]})"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", 1, 0,
       R"({"count":1,"query_len":26,"hits":[{"offset":0,"length":26}]})"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", 0, 0,
       R"({"count":0,"query_len":26,"hits":[]})"},
      {"@`[{", "`", 1, 0, R"({"count":1,"query_len":1,"hits":[{"offset":1,"length":1}]})"},
      {"abc", "", 0, 0, R"({"count":0,"query_len":0,"hits":[]})"},
      {"abc", "abcd", 0, 0, R"({"count":0,"query_len":4,"hits":[]})"},
      {"abc", "x", 1, 0, R"({"count":0,"query_len":1,"hits":[]})"},
      {"", "a", 0, 0, R"({"count":0,"query_len":1,"hits":[]})"},
      {"", "", 1, 0, R"({"count":0,"query_len":0,"hits":[]})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " / " + c.query);
    OpenText doc(c.text);
    EXPECT_EQ(search(doc.handle(), c.query, c.case_insensitive, c.max_hits), c.json);
  }
}

TEST(Search, HitLimit) {
  // 100,005 hits of 'a'.
  const std::string text(100005, 'a');
  OpenText doc(text);
  struct Case {
    int max_hits;
    std::size_t count;
  } const cases[] = {
      {2, 2},           {1, 1},           {0, 100},         {-7, 100},
      {INT_MIN, 100},   {100, 100},       {101, 101},       {99999, 99999},
      {100000, 100000}, {100001, 100000}, {500000, 100000}, {INT_MAX, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_hits);
    const std::string json = search(doc.handle(), "a", 0, c.max_hits);
    EXPECT_EQ(json, tf_ref::search_json(text, "a", false, c.max_hits));
    EXPECT_EQ(json.rfind("{\"count\":" + std::to_string(c.count) + ",", 0), 0u);
  }
  // Fewer hits than the limit: all of them.
  OpenText small("aaab");
  EXPECT_EQ(search(small.handle(), "A", 1, 500000),
            R"({"count":3,"query_len":1,"hits":[{"offset":0,"length":1},{"offset":1,"length":1},)"
            R"({"offset":2,"length":1}]})");
}

TEST(Search, FailuresInOrder) {
  // The NULL query is reported whatever the handle.
  EXPECT_EQ(search(99, nullptr, 0, 0), "NULL: query is NULL");
  EXPECT_EQ(search(-1, nullptr, 1, 5), "NULL: query is NULL");
  OpenText doc("abc");
  EXPECT_EQ(search(doc.handle(), nullptr, 0, 0), "NULL: query is NULL");
  for (int h : {-1, 64, 99, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(search(h, "a", 0, 0), "NULL: invalid handle");
  }
  // A closed handle is invalid.
  int closed = -1;
  {
    OpenText gone("abc");
    closed = gone.handle();
  }
  EXPECT_EQ(search(closed, "a", 0, 0), "NULL: invalid handle");
  // Success leaves the last message alone.
  EXPECT_EQ(search(doc.handle(), "b", 0, 0),
            R"({"count":1,"query_len":1,"hits":[{"offset":1,"length":1}]})");
  EXPECT_STREQ(tf_last_error(), "invalid handle");
}

// Documents built from 'a', 'A', 'b', 0x00 and 'é'; queries over 'a', 'A',
// 'b' and the two bytes of 'é' (so they may match half a character), random
// lengths, plus pieces of the text with flipped case.
TEST(Search, SeededRandomAgainstPlainScan) {
  std::mt19937 rng(4242);
  auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string tokens[] = {"a", "A", "b", std::string(1, '\0'), "\xC3\xA9"};
  const std::string query_bytes = "aAb\xC3\xA9";
  for (int doc_index = 0; doc_index < 150; ++doc_index) {
    std::string text;
    const int length = doc_index < 10 ? doc_index : below(doc_index < 140 ? 200 : 3000);
    for (int i = 0; i < length; ++i) text += tokens[below(5)];
    OpenText doc(text);
    for (int q = 0; q < 12; ++q) {
      std::string query;
      if (q % 3 != 0 || text.empty()) {
        const int query_length = q == 0 ? 0 : below(7);
        for (int i = 0; i < query_length; ++i) query += query_bytes[below(5)];
      } else {
        const int start = below(static_cast<int>(text.size()));
        query = text.substr(start, 1 + below(40));
        for (char& c : query) {
          if ((c == 'a' || c == 'A') && below(2) == 0) c ^= 0x20;
        }
        query = query.substr(0, query.find('\0'));
      }
      const int case_insensitive = below(3) == 0 ? 0 : 1 + below(1000);
      const int max_hits_choices[] = {0, -1, 1, 2, 3, 7, 100, 500, INT_MIN, INT_MAX};
      const int max_hits = max_hits_choices[below(10)];
      SCOPED_TRACE(testing::PrintToString(text) + " / " + testing::PrintToString(query));
      EXPECT_EQ(search(doc.handle(), query.c_str(), case_insensitive, max_hits),
                tf_ref::search_json(text, query, case_insensitive != 0, max_hits));
    }
  }
}

}  // namespace
