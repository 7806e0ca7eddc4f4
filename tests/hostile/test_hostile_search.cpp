// Search and replace preview at their limits: extreme hit limits, a search
// with more occurrences than the largest limit, and a replace whose output
// runs to hundreds of MB. Each gives its documented answer, and the memory a
// call takes stays within what its result needs.
#include <gtest/gtest.h>
#if defined(_WIN32)
#define PSAPI_VERSION 2
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

std::string take(char* json) {
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

// "count" of a search or replace result.
long long count_of(const std::string& json) {
  const auto at = json.find("\"count\":");
  return at == std::string::npos ? -1 : std::stoll(json.substr(at + 8));
}

// The process's peak resident size.
long peak_kib() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

std::string hits_json(long long from, long long count, int length) {
  std::string out = "{\"count\":" + std::to_string(count) +
                    ",\"query_len\":" + std::to_string(length) + ",\"hits\":[";
  for (long long i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    out +=
        "{\"offset\":" + std::to_string(from + i) + ",\"length\":" + std::to_string(length) + "}";
  }
  return out + "]}";
}

TEST(HostileSearch, HitLimitsAtTheirExtremes) {
  TempDir dir;
  // 250,000 overlapping occurrences of "aa".
  const int h = tf_open(dir.write("doc.txt", std::string(250001, 'a')).c_str());
  ASSERT_EQ(h, 0) << tf_last_error();
  struct {
    int max_hits;
    long long count;
  } const cases[] = {{INT_MIN, 100}, {-1, 100},        {0, 100},         {1, 1},
                     {99999, 99999}, {100000, 100000}, {100001, 100000}, {INT_MAX, 100000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max_hits);
    EXPECT_EQ(take(tf_search(h, "aa", 0, c.max_hits)), hits_json(0, c.count, 2));
  }
  // Folded, and with a query longer than the text.
  EXPECT_EQ(take(tf_search(h, "AA", 1, INT_MAX)), hits_json(0, 100000, 2));
  EXPECT_EQ(take(tf_search(h, std::string(250002, 'a').c_str(), 0, INT_MAX)),
            R"({"count":0,"query_len":250002,"hits":[]})");
  tf_close(h);
}

TEST(HostileSearch, HundredThousandHitsNearTheEnd) {
  TempDir dir;
  // The hits are all beyond the first 10 MB: the scan crosses the text once.
  std::string text(10 * 1024 * 1024, 'x');
  text += std::string(100000, 'y');
  const int h = tf_open(dir.write("doc.txt", text).c_str());
  ASSERT_EQ(h, 0) << tf_last_error();
  EXPECT_EQ(take(tf_search(h, "y", 0, INT_MAX)), hits_json(10 * 1024 * 1024, 100000, 1));
  EXPECT_EQ(take(tf_search(h, "xy", 0, 0)), hits_json(10 * 1024 * 1024 - 1, 1, 2));
  tf_close(h);
}

TEST(HostileSearch, ReplaceWithAnOutputOfHundredsOfMegabytes) {
  TempDir dir;
  constexpr long long kLength = 64LL * 1024 * 1024;
  const int h = tf_open(dir.write("doc.txt", std::string(kLength, 'a')).c_str());
  ASSERT_EQ(h, 0) << tf_last_error();
  const long before = peak_kib();
  // 64 MiB of "a" with each "a" becoming six bytes: a 384 MiB output.
  const std::string json = take(tf_replace_preview(h, "a", "bcdefg", 0));
  const long grown_mib = (peak_kib() - before) / 1024;
  EXPECT_EQ(count_of(json), kLength);
  std::string cut;
  while (cut.size() < 1048576) cut += "bcdefg";
  cut.resize(1048576);
  EXPECT_EQ(json, "{\"count\":" + std::to_string(kLength) + ",\"text\":\"" + cut +
                      "\",\"truncated\":true}");
  // The output block doubles from 64 MiB + 64 bytes: 512 MiB at most, and
  // the realloc that reaches it may briefly hold the old 256 MiB as well.
  EXPECT_LT(grown_mib, 800) << "MiB taken by one preview";
  // The document is untouched; an empty find gives the whole text uncut.
  const std::string whole = take(tf_replace_preview(h, "", "x", 0));
  EXPECT_EQ(whole.size(), static_cast<std::size_t>(kLength) + 21);
  EXPECT_EQ(whole.find("truncated"), std::string::npos);
  tf_close(h);
}

// Only the shown part of a preview is built: 8 MiB of "a" with a 100-byte
// replacement (an 800 MiB output) costs about its 1 MiB text and the JSON.
TEST(HostileSearch, PreviewMemoryIsBoundedWhateverTheOutput) {
  TempDir dir;
  const std::string path = dir.file("doc.txt");
  {  // written in pieces: no 8 MiB block raises the peak beforehand
    std::ofstream out(path, std::ios::binary);
    for (int k = 0; k < 128; ++k) out << std::string(65536, 'a');
  }
  const int h = tf_open(path.c_str());
  ASSERT_EQ(h, 0) << tf_last_error();
  const std::string repl(100, 'r');
  const long before = peak_kib();
  char* json = tf_replace_preview(h, "a", repl.c_str(), 0);
  const long grown_kib = peak_kib() - before;
  ASSERT_NE(json, nullptr) << tf_last_error();
  const std::string expected =
      "{\"count\":8388608,\"text\":\"" + std::string(1048576, 'r') + "\",\"truncated\":true}";
  EXPECT_EQ(json, expected);
  tf_free_string(json);
  std::printf("one preview of an 800 MiB output: peak RSS grew by %ld KiB\n", grown_kib);
  // A sanitizer's heap quarantines freed blocks instead of reusing them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const long heap_factor = 2;
#else
  const long heap_factor = 1;
#endif
  EXPECT_LE(grown_kib, heap_factor * (1024 + static_cast<long>(expected.size() / 1024) + 512));
  tf_close(h);
}

}  // namespace
