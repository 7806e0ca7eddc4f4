// tf_replace_preview through the public API: the examples that pin its
// behaviour, the 1 MiB cut, 0x00 in the text, the order of its failures, a
// seeded comparison with the plain model in reference/naive_search.hpp on
// real files, and the document staying as it was.
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

constexpr std::size_t kLimit = 1048576;

std::string preview(int handle, const char* find, const char* repl, int case_insensitive) {
  return take_json(tf_replace_preview(handle, find, repl, case_insensitive));
}

std::string preview_json(std::uint64_t count, const std::string& text, bool truncated = false) {
  return "{\"count\":" + std::to_string(count) + ",\"text\":\"" + text + "\"" +
         (truncated ? ",\"truncated\":true}" : "}");
}

TEST(ReplacePreview, Examples) {
  struct Case {
    std::string text;
    const char* find;
    const char* repl;
    int case_insensitive;
    const char* json;
  } const cases[] = {
      {"abcabc", "bc", "X", 0, R"({"count":2,"text":"aXaX"})"},
      {"abcabc", "BC", "X", 1, R"({"count":2,"text":"aXaX"})"},
      {"aaaa", "aa", "b", 0, R"({"count":2,"text":"bb"})"},
      {"aaaa", "aa", "bb", 0, R"({"count":2,"text":"bbbb"})"},
      {"aaa", "aa", "b", 0, R"({"count":1,"text":"ba"})"},
      {"Cat cat CAT", "Cat", "dog", 1, R"({"count":3,"text":"dog dog dog"})"},
      {"Cat cat CAT", "Cat", "dog", 0, R"({"count":1,"text":"dog cat CAT"})"},
      {"Cat cat CAT", "cAT", "Dog", 7, R"({"count":3,"text":"Dog Dog Dog"})"},
      // Inserted text is never searched again.
      {"aa", "a", "aa", 0, R"({"count":2,"text":"aaaa"})"},
      {"abab", "ab", "", 0, R"({"count":2,"text":""})"},
      {"abc", "", "X", 0, R"({"count":0,"text":"abc"})"},
      {"abc", "abcd", "X", 0, R"({"count":0,"text":"abc"})"},
      {"", "a", "b", 0, R"({"count":0,"text":""})"},
      {"", "", "b", 1, R"({"count":0,"text":""})"},
      // Only ASCII letters fold.
      {"\xC3\xA9\xC3\x89", "\xC3\xA9", "e", 1, "{\"count\":1,\"text\":\"e\xC3\x89\"}"},
      // A find that is half of a character may still leave valid UTF-8.
      {"\xC3\xA9", "\xA9", "\xA9", 0, "{\"count\":1,\"text\":\"\xC3\xA9\"}"},
      // The text ends at its first 0x00; the count covers the whole text.
      {std::string("ab\0ab", 5), "b", "X", 0, R"({"count":2,"text":"aX"})"},
      {std::string("\0ab", 3), "a", "X", 0, R"({"count":1,"text":""})"},
      {std::string("ab\0ab", 5), "", "X", 0, R"({"count":0,"text":"ab"})"},
      // Quotes, backslashes and control characters are escaped.
      {"say \"x\"\tor\n\\x", "x", "y", 0, R"({"count":2,"text":"say \"y\"\tor\n\\y"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " / " + c.find + " -> " + c.repl);
    OpenText doc(c.text);
    EXPECT_EQ(preview(doc.handle(), c.find, c.repl, c.case_insensitive), c.json);
  }
}

TEST(ReplacePreview, OutputsThatAreNotUtf8Fail) {
  struct Case {
    std::string text;
    const char* find;
    const char* repl;
  } const cases[] = {
      {"abc", "b", "\xC3"},       // repl is half a character
      {"\xC3\xA9", "\xA9", "x"},  // the find takes half of 'é'
      {"\xC3\xA9", "\xC3", ""},
      {"ab", "b", "\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    OpenText doc(c.text);
    EXPECT_EQ(preview(doc.handle(), c.find, c.repl, 0), "NULL: replace preview failed");
  }
}

TEST(ReplacePreview, CutAtOneMebibyte) {
  const std::string a_limit(kLimit, 'a');
  struct Case {
    std::string text;
    const char* find;
    const char* repl;
    std::string json;
  } const cases[] = {
      // Exactly the limit: whole, not truncated.
      {a_limit, "x", "y", preview_json(0, a_limit)},
      {std::string(kLimit / 2, 'b'), "b", "cc", preview_json(kLimit / 2, std::string(kLimit, 'c'))},
      // One byte more: cut to the limit.
      {a_limit + "z", "x", "y", preview_json(0, a_limit, true)},
      {std::string(kLimit / 2, 'b') + "d", "b", "cc",
       preview_json(kLimit / 2, std::string(kLimit, 'c'), true)},
      {std::string(kLimit - 1, 'a'), "a", "aa",
       preview_json(kLimit - 1, std::string(kLimit, 'a'), true)},
      // A character ending exactly at the limit, or starting right after it.
      {std::string(kLimit - 2, 'a') + "\xC3\xA9", "x", "y",
       preview_json(0, std::string(kLimit - 2, 'a') + "\xC3\xA9")},
      {a_limit + "\xC3\xA9", "x", "y", preview_json(0, a_limit, true)},
      // The cut inside 'é' leaves a broken character: the call fails.
      {std::string(kLimit - 1, 'a') + "b", "b", "\xC3\xA9", "NULL: replace preview failed"},
      {std::string(kLimit - 1, 'a') + "\xC3\xA9", "x", "y", "NULL: replace preview failed"},
      // An empty find is never cut, whatever the length.
      {std::string(3 * kLimit, 'q'), "", "y", preview_json(0, std::string(3 * kLimit, 'q'))},
      // After a 0x00 the text stops, but the count and the cut see it all.
      {"xab" + std::string(1, '\0') + a_limit, "a", "c", preview_json(kLimit + 1, "xcb", true)},
      {"xab" + std::string(1, '\0') + std::string(kLimit - 4, 'a'), "a", "c",
       preview_json(kLimit - 3, "xcb")},
      {"xab" + std::string(1, '\0') + std::string(kLimit - 3, 'a'), "a", "c",
       preview_json(kLimit - 2, "xcb", true)},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    OpenText doc(c.text);
    const std::string& expected = c.json;
    const std::string got = preview(doc.handle(), c.find, c.repl, 0);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << got.substr(0, 80) << "... instead of " << expected.substr(0, 80)
                                 << "...";
  }
}

TEST(ReplacePreview, FailuresInOrder) {
  OpenText doc("abc");
  // NULL find or repl is reported whatever the handle.
  EXPECT_EQ(preview(99, "a", nullptr, 0), "NULL: find/repl is NULL");
  EXPECT_EQ(preview(-1, nullptr, "a", 0), "NULL: find/repl is NULL");
  EXPECT_EQ(preview(1000, nullptr, nullptr, 1), "NULL: find/repl is NULL");
  EXPECT_EQ(preview(doc.handle(), nullptr, "a", 0), "NULL: find/repl is NULL");
  EXPECT_EQ(preview(doc.handle(), "a", nullptr, 0), "NULL: find/repl is NULL");
  for (int h : {-1, 64, 99, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(preview(h, "a", "b", 0), "NULL: invalid handle");
  }
  EXPECT_EQ(preview(doc.handle(), "b", "B", 0), R"({"count":1,"text":"aBc"})");
  EXPECT_STREQ(tf_last_error(), "invalid handle");  // success leaves the message
}

// Documents built from 'a', 'A', 'b', 0x00 and 'é'; find and repl over 'a',
// 'A', 'b' and the two bytes of 'é' (so outputs may break a character and
// the call must then fail), plus finds taken from the text with flipped case.
TEST(ReplacePreview, SeededRandomAgainstPlainModel) {
  std::mt19937 rng(777);
  auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string tokens[] = {"a", "A", "b", std::string(1, '\0'), "\xC3\xA9"};
  const std::string letters = "aAb";
  const std::string with_halves = "aAb\xC3\xA9";
  auto random_over = [&](const std::string& alphabet, int max_length) {
    std::string s;
    const int length = below(max_length + 1);
    for (int i = 0; i < length; ++i) s += alphabet[below(static_cast<int>(alphabet.size()))];
    return s;
  };
  for (int doc_index = 0; doc_index < 150; ++doc_index) {
    std::string text;
    const int length = doc_index < 10 ? doc_index : below(doc_index < 140 ? 200 : 3000);
    for (int i = 0; i < length; ++i) text += tokens[below(5)];
    OpenText doc(text);
    for (int q = 0; q < 12; ++q) {
      std::string find;
      if (q % 3 != 0 || text.empty()) {
        find = random_over(below(4) == 0 ? with_halves : letters, 6);
      } else {
        const int start = below(static_cast<int>(text.size()));
        find = text.substr(start, 1 + below(40));
        for (char& c : find) {
          if ((c == 'a' || c == 'A') && below(2) == 0) c ^= 0x20;
        }
        find = find.substr(0, find.find('\0'));
      }
      const std::string repl =
          below(5) == 0 ? random_over(with_halves, 3) : random_over(letters + "\"", 80);
      const int case_insensitive = below(3) == 0 ? 0 : 1 + below(1000);
      SCOPED_TRACE(testing::PrintToString(text) + " / " + testing::PrintToString(find) + " -> " +
                   testing::PrintToString(repl));
      const auto expected = tf_ref::preview_json(text, find, repl, case_insensitive != 0);
      EXPECT_EQ(preview(doc.handle(), find.c_str(), repl.c_str(), case_insensitive),
                expected ? *expected : "NULL: replace preview failed");
    }
  }
}

TEST(ReplacePreview, DocumentStaysUnchanged) {
  const std::string text =
      std::string("Cat cat CAT\n\xC3\xA9t\xC3\xA9") + std::string(1, '\0') + "cat";
  OpenText doc(text);
  const std::string info_before = take_json(tf_info(doc.handle()));
  const std::string search_before = take_json(tf_search(doc.handle(), "cat", 1, 0));
  ASSERT_EQ(search_before, tf_ref::search_json(text, "cat", true, 0));
  const char* finds[] = {"cat", "C", "", "\xA9", "t", "Cat cat CAT"};
  const char* repls[] = {"dog", "", "xyz", "\xC3", "tt", "a"};
  for (int round = 0; round < 5; ++round) {
    for (const char* find : finds) {
      for (const char* repl : repls) {
        for (int ci : {0, 1}) take_json(tf_replace_preview(doc.handle(), find, repl, ci));
      }
    }
  }
  EXPECT_EQ(take_json(tf_info(doc.handle())), info_before);
  EXPECT_EQ(take_json(tf_search(doc.handle(), "cat", 1, 0)), search_before);
  EXPECT_EQ(take_json(tf_search(doc.handle(), "dog", 1, 0)),
            R"({"count":0,"query_len":3,"hits":[]})");
  EXPECT_EQ(take_json(tf_replace_preview(doc.handle(), "", "x", 0)),
            "{\"count\":0,\"text\":\"Cat cat CAT\\n\xC3\xA9t\xC3\xA9\"}");
  // Every byte is still where it was: each single-byte query finds exactly
  // the positions the original text has.
  for (char c : std::string("Cat\n\xC3\xA9")) {
    const std::string q(1, c);
    EXPECT_EQ(take_json(tf_search(doc.handle(), q.c_str(), 0, 0)),
              tf_ref::search_json(text, q, false, 0));
  }
}

}  // namespace
