// tf_search's result is written directly instead of through a document of
// one object per hit; it must be byte for byte what the result document
// gives (built here the plain way) for any count, offsets of every width and
// any query length.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "frame/result_doc.hpp"
#include "query/search_json.hpp"

namespace {

std::string through_document(const std::vector<std::uint64_t>& hits, std::uint64_t m) {
  tf::ResultDoc doc;
  doc.add_int("count", static_cast<std::int64_t>(hits.size()));
  doc.add_int("query_len", static_cast<std::int64_t>(m));
  yyjson_mut_val* array = doc.add_array("hits");
  for (const std::uint64_t offset : hits) {
    yyjson_mut_val* hit = doc.append_object(array);
    tf::ResultDoc::add_int_to(doc.doc(), hit, "offset", static_cast<std::int64_t>(offset));
    tf::ResultDoc::add_int_to(doc.doc(), hit, "length", static_cast<std::int64_t>(m));
  }
  char* json = doc.write();
  std::string out = json != nullptr ? json : "NULL";
  std::free(json);
  return out;
}

std::string direct(const std::vector<std::uint64_t>& hits, std::uint64_t m) {
  char* json = tf::query::write_search_json(hits.data(), static_cast<int>(hits.size()), m);
  std::string out = json != nullptr ? json : "NULL";
  std::free(json);
  return out;
}

TEST(SearchJson, SameBytesAsTheResultDocument) {
  std::mt19937_64 rng(3);
  const std::uint64_t widths[] = {
      0, 9, 10, 99, 100, 524287999, 4294967296ull, 9223372036854775807ull};
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint64_t> hits(round % 7 == 0 ? 0 : rng() % 50);
    for (std::uint64_t& h : hits) {
      h = round % 3 == 0 ? widths[rng() % 8] : rng() % (std::uint64_t{1} << (rng() % 63));
    }
    const std::uint64_t m = round % 5 == 0 ? 0 : rng() % 2000;
    ASSERT_EQ(direct(hits, m), through_document(hits, m)) << round;
  }
  EXPECT_EQ(direct({}, 0), R"({"count":0,"query_len":0,"hits":[]})");
  EXPECT_EQ(direct({0, 1, 2}, 2),
            R"({"count":3,"query_len":2,"hits":[{"offset":0,"length":2},{"offset":1,"length":2},)"
            R"({"offset":2,"length":2}]})");
}

TEST(SearchJson, ManyHits) {
  std::vector<std::uint64_t> hits(100000);
  for (std::size_t i = 0; i < hits.size(); ++i) hits[i] = i * 37 + 5;
  EXPECT_TRUE(direct(hits, 3) == through_document(hits, 3));
}

}  // namespace
