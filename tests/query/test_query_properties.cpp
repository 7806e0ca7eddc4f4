// Properties over seeded random texts, through the public API: tf_stats and
// tf_info agree on lines, paging with tf_text reassembles tf_full, and
// tf_linecol agrees with a recount at every offset.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "query/open_text.hpp"
#include "quobrix_textfile.h"
#include "reference/text_measures.hpp"

namespace {

using tf_test::OpenText;
using tf_test::take;

// A JSON result parsed; members read by key.
class Parsed {
 public:
  explicit Parsed(const std::string& json) : doc_(yyjson_read(json.data(), json.size(), 0)) {
    if (doc_ == nullptr) ADD_FAILURE() << "not JSON: " << json;
  }
  ~Parsed() { yyjson_doc_free(doc_); }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;

  std::int64_t integer(const char* key) const {
    yyjson_val* v = member(key);
    EXPECT_TRUE(yyjson_is_int(v)) << key;
    return yyjson_get_sint(v);
  }
  std::string string(const char* key) const {
    yyjson_val* v = member(key);
    EXPECT_TRUE(yyjson_is_str(v)) << key;
    return v != nullptr ? std::string(yyjson_get_str(v), yyjson_get_len(v)) : std::string();
  }

 private:
  yyjson_val* member(const char* key) const {
    return doc_ != nullptr ? yyjson_obj_get(yyjson_doc_get_root(doc_), key) : nullptr;
  }
  yyjson_doc* doc_;
};

// Random well-formed UTF-8 built from pieces that stress the measures: all
// three breaks, word and separator bytes, multi-byte characters, and 0x00
// when allowed.
std::string random_text(std::mt19937_64& rng, std::size_t pieces, bool with_zero) {
  static const char* const kPieces[] = {
      "a",        "Zz",          "0",  "_",    " ",        "\t",           ",",
      "'",        "\r",          "\n", "\r\n", "\n\r",     "\x0B",         "\x0C",
      "\"",       "\\",          "/",  "\x01", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
      "\xC2\xA0", "\xEF\xBF\xBD"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> zero(0, 40);
  std::string t;
  for (std::size_t k = 0; k < pieces; ++k) {
    if (with_zero && zero(rng) == 0) {
      t += '\0';
    } else {
      t += kPieces[pick(rng)];
    }
  }
  return t;
}

TEST(QueryProperties, StatsAgreeWithInfoAndTheReference) {
  std::mt19937_64 rng(424242);
  std::uniform_int_distribution<std::size_t> pieces(0, 600);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const std::string t = random_text(rng, pieces(rng), round % 2 == 0);
    OpenText file(t);
    const Parsed info(take(tf_info(file.handle())));
    const Parsed stats(take(tf_stats(file.handle())));
    EXPECT_EQ(stats.integer("lines"), info.integer("lines"));
    EXPECT_EQ(stats.integer("lines"), tf_ref::lines(t));
    EXPECT_EQ(stats.integer("words"), tf_ref::words(t));
    EXPECT_EQ(stats.integer("chars"), tf_ref::chars(t));
    EXPECT_EQ(stats.integer("bytes"), static_cast<std::int64_t>(t.size()));
    EXPECT_EQ(info.integer("bytes"), static_cast<std::int64_t>(t.size()));
  }
}

// One page, or false when it cannot be serialised (it cuts a character).
bool read_page(int h, std::int64_t offset, std::int32_t size, std::string& text,
               std::int64_t& next) {
  char* json = tf_text(h, offset, size);
  if (json == nullptr) {
    EXPECT_STREQ(tf_last_error(), "failed to serialize JSON");
    return false;
  }
  const Parsed page(take(json));
  text = page.string("text");
  next = page.integer("next_offset");
  return true;
}

TEST(QueryProperties, PagingReassemblesTheFullText) {
  std::mt19937_64 rng(8086);
  std::uniform_int_distribution<std::size_t> pieces(0, 300);
  std::size_t cut_pages = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const std::string t = random_text(rng, pieces(rng), false);
    OpenText file(t);
    const int h = file.handle();
    char* full = tf_full(h);
    ASSERT_NE(full, nullptr);
    const std::string whole(full);
    tf_free_string(full);
    ASSERT_EQ(whole, t);

    for (std::int32_t size : {1, 2, 3, 4, 5, 7, 16, 100, 4096}) {
      SCOPED_TRACE(size);
      std::string assembled;
      std::int64_t offset = 0;
      for (;;) {
        std::string text;
        std::int64_t next = 0;
        bool ok = read_page(h, offset, size, text, next);
        if (!ok) {
          // Only a page that is not valid UTF-8 may fail.
          const std::size_t length =
              std::min<std::size_t>(static_cast<std::size_t>(size), t.size() - offset);
          EXPECT_FALSE(tf_ref::valid_utf8(std::string_view(t).substr(offset, length)));
          ++cut_pages;
          // Shorter pages first, then longer ones: one of them ends on a boundary.
          for (std::int32_t k = size - 1; k >= 1 && !ok; --k)
            ok = read_page(h, offset, k, text, next);
          for (std::int32_t k = size + 1; k <= size + 3 && !ok; ++k) {
            ok = read_page(h, offset, k, text, next);
          }
          ASSERT_TRUE(ok) << "no page fits at " << offset;
        }
        ASSERT_GE(next, offset);
        ASSERT_LE(next, static_cast<std::int64_t>(t.size()));
        EXPECT_EQ(text, t.substr(offset, next - offset));
        assembled += text;
        if (next == offset) break;  // the empty page at the end
        offset = next;
      }
      EXPECT_EQ(offset, static_cast<std::int64_t>(t.size()));
      EXPECT_EQ(assembled, whole);
    }
  }
  EXPECT_GT(cut_pages, 0u);  // the character cuts were exercised
}

TEST(QueryProperties, LinecolAtEveryOffsetAgreesWithARecount) {
  std::mt19937_64 rng(1999);
  std::uniform_int_distribution<std::size_t> pieces(0, 120);
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    const std::string t = random_text(rng, pieces(rng), round % 3 == 0);
    OpenText file(t);
    const auto n = static_cast<std::int64_t>(t.size());
    for (std::int64_t offset = -2; offset <= n + 2; ++offset) {
      // The recount: breaks among the bytes before the position, the CR of
      // a pair cut by the position counting on its own; the line starts just
      // after the last CR or LF before the position.
      const std::size_t p = static_cast<std::size_t>(std::clamp<std::int64_t>(offset, 0, n));
      const std::string_view before = std::string_view(t).substr(0, p);
      std::int64_t line = 1;
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == '\n') ++line;
        if (before[i] == '\r' && (i + 1 == before.size() || before[i + 1] != '\n')) ++line;
      }
      const std::size_t last = before.find_last_of("\r\n");
      const std::size_t start = last == std::string_view::npos ? 0 : last + 1;
      const auto col = static_cast<std::int64_t>(p - start) + 1;
      const Parsed at(take(tf_linecol(file.handle(), offset)));
      ASSERT_EQ(at.integer("line"), line) << "offset " << offset;
      ASSERT_EQ(at.integer("col"), col) << "offset " << offset;
    }
  }
}

}  // namespace
