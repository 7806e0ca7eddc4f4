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

}  // namespace
