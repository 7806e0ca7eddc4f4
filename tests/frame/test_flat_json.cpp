// FlatJson writes the bytes a ResultDoc writes for the same integer and name
// members; tf_info relies on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "frame/flat_json.hpp"
#include "frame/result_doc.hpp"
#include "query/page_json.hpp"

namespace {

std::string take(char* s) {
  std::string out = s != nullptr ? s : "NULL";
  std::free(s);
  return out;
}

TEST(FlatJson, SameBytesAsTheResultDocument) {
  static const char* const keys[] = {"encoding", "had_bom", "bytes", "raw_bytes", "lines", "x"};
  static const char* const names[] = {"utf8", "utf8-bom", "utf16le", "ansi", "lf", "crlf", ""};
  const std::int64_t edges[] = {0,
                                1,
                                -1,
                                9,
                                10,
                                -10,
                                524288000,
                                std::numeric_limits<std::int64_t>::max(),
                                std::numeric_limits<std::int64_t>::min()};
  std::mt19937_64 rng(4);
  for (int round = 0; round < 500; ++round) {
    tf::FlatJson flat;
    tf::ResultDoc doc;
    const int members = static_cast<int>(rng() % 8);
    for (int k = 0; k < members; ++k) {
      const char* key = keys[rng() % 6];
      if (rng() % 3 == 0) {
        const char* name = names[rng() % 7];
        flat.add_name(key, name);
        doc.add_string(key, name);
      } else {
        const std::int64_t v =
            rng() % 2 ? edges[rng() % 9] : static_cast<std::int64_t>(rng()) >> (rng() % 64);
        flat.add_int(key, v);
        doc.add_int(key, v);
      }
    }
    ASSERT_EQ(take(flat.write()), take(doc.write())) << round;
  }
}

TEST(FlatJson, TooManyMembersIsAFailureNotACut) {
  tf::FlatJson flat;
  for (int k = 0; k < 100; ++k) flat.add_int("a_rather_long_key_name", k);
  EXPECT_EQ(flat.write(), nullptr);
}

// tf_text writes its page without a document: the same bytes, and the same
// refusal of text that is not well-formed UTF-8, for every byte value and
// for texts made of runs of them.
TEST(PageJson, SameBytesAsTheResultDocument) {
  std::string pieces[] = {"plain", "\xC3\xA9",          "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                          "\x7F",  "\xED\xA0\x80",      "\xC0\x80",     "\xC3",
                          "\x80",  std::string(17, 'w')};
  std::mt19937_64 rng(5);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    if (round < 255) {
      text = std::string(1, static_cast<char>(round + 1));
    } else {
      const int parts = static_cast<int>(rng() % 12);
      for (int k = 0; k < parts; ++k) {
        if (rng() % 2) {
          text += static_cast<char>(1 + rng() % 127);
        } else {
          text += pieces[rng() % (round % 7 == 0 ? 10 : 5)];
        }
      }
    }
    const std::int64_t next = static_cast<std::int64_t>(rng() >> (rng() % 64));
    tf::ResultDoc doc;
    doc.add_string("text", text.c_str());
    doc.add_int("next_offset", next);
    char* json = nullptr;
    tf::query::write_page_json(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               next, &json);
    ASSERT_EQ(take(json), take(doc.write())) << round;
  }
}

}  // namespace
