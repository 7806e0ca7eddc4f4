// Every allocation an export makes, failed one at a time: each failure gives
// the export's failure value and the exact message for that allocation (or,
// for a JSON member that cannot be allocated, the result without that
// member), nothing stays allocated, no handle slot stays taken and no file is
// left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults/alloc_injector.hpp"
#include "faults/alloc_sweep.hpp"
#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_inject::Allocation;
using tf_inject::Expect;
using tf_inject::fail_or_left_out;
using tf_inject::fail_with;
using tf_inject::Origin;
using tf_inject::origin_of;
using tf_inject::Raw;
using tf_inject::Scenario;
using tf_test::TempDir;

class PrintTotals : public testing::Environment {
 public:
  void TearDown() override { tf_inject::print_totals(); }
};
const auto* const g_print_totals = testing::AddGlobalTestEnvironment(new PrintTotals);

std::string repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

std::string info_of(int h) {
  char* json = tf_info(h);
  std::string out = json != nullptr ? json : std::string("NULL: ") + tf_last_error();
  tf_free_string(json);
  return out;
}

std::vector<std::size_t> indexes_from(const std::vector<Allocation>& baseline, Origin origin) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < baseline.size(); ++i) {
    if (origin_of(baseline[i]) == origin) out.push_back(i);
  }
  return out;
}

// Allocations of tf_open, in the order the library makes them: the read
// buffer (file size + 1), the decoder's text, and, once a slot is found, the
// copy of the path.
Expect classify_open(const std::vector<Allocation>& baseline, std::size_t index,
                     std::size_t file_size, std::size_t path_length, bool finds_slot) {
  const Allocation& a = baseline[index];
  switch (origin_of(a)) {
    case Origin::kCxxRuntime:
      return fail_with("out of memory");
    case Origin::kLibrary: {
      const std::vector<std::size_t> own = indexes_from(baseline, Origin::kLibrary);
      if (index == own.front()) {
        EXPECT_EQ(a.size, file_size + 1) << "the read buffer comes first";
        return fail_with("out of memory");
      }
      if (finds_slot && index == own.back()) {
        EXPECT_EQ(a.size, path_length + 1) << "the path copy comes last";
        return fail_with("out of memory");
      }
      return fail_with("decode failed / out of memory");
    }
    default:
      ADD_FAILURE() << "tf_open allocates through " << tf_inject::describe_site(a);
      return fail_with("?");
  }
}

// A JSON query: the first allocation of yyjson creates the document; a later
// one either builds the root object (no root: writing fails), a member (left
// out) or the writer's buffer (writing fails).
Expect classify_json(const std::vector<Allocation>& baseline, std::size_t index,
                     const std::string& no_document, const std::string& write_failed) {
  const Allocation& a = baseline[index];
  switch (origin_of(a)) {
    case Origin::kYyjson:
      if (index == indexes_from(baseline, Origin::kYyjson).front()) return fail_with(no_document);
      return fail_or_left_out(write_failed);
    case Origin::kCxxRuntime:
      return fail_with("out of memory");
    default:
      ADD_FAILURE() << "unexpected allocation " << tf_inject::describe_site(a);
      return fail_with("?");
  }
}

struct OpenCase {
  const char* name;
  std::string bytes;
  std::string info;
};

std::vector<OpenCase> open_cases() {
  return {
      {"empty", "",
       R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":0,"raw_bytes":0,"lines":0,"sanitized":0})"},
      {"utf8", repeat("h\xC3\xA9llo w\xC3\xB6rld\n", 200),
       R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":2800,"raw_bytes":2800,"lines":200,"sanitized":0})"},
      {"utf8-bom, ill-formed", "\xEF\xBB\xBF" + repeat("ab\xFF\r\n", 100),
       R"({"encoding":"utf8-bom","had_bom":1,"line_ending":"crlf","bytes":700,"raw_bytes":503,"lines":100,"sanitized":1})"},
      {"utf16le", "\xFF\xFE" + repeat(std::string("h\0i\0\n\0", 6), 3000),
       R"({"encoding":"utf16le","had_bom":1,"line_ending":"lf","bytes":9000,"raw_bytes":18002,"lines":3000,"sanitized":0})"},
      {"utf16le, odd byte", std::string("\xFF\xFE\x00\xD8", 4) + "A",
       R"({"encoding":"utf16le","had_bom":1,"line_ending":"lf","bytes":6,"raw_bytes":5,"lines":1,"sanitized":1})"},
      {"ansi", repeat("caf\xE9\n", 300),
       R"({"encoding":"ansi","had_bom":0,"line_ending":"lf","bytes":1800,"raw_bytes":1500,"lines":300,"sanitized":0})"},
  };
}

TEST(AllocFailures, Open) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  for (const OpenCase& c : open_cases()) {
    const std::string path = dir.write(std::string("doc-") + c.name + ".txt", c.bytes);
    Scenario s;
    s.label = std::string("tf_open (") + c.name + ")";
    s.string_result = false;
    s.call = [&] { return Raw{tf_open(path.c_str()), nullptr}; };
    s.classify = [&](const std::vector<Allocation>& b, std::size_t i) {
      return classify_open(b, i, c.bytes.size(), path.size(), true);
    };
    s.check_normal = [&](const Raw& r) {
      ASSERT_EQ(r.value, 0) << tf_last_error();
      EXPECT_STREQ(tf_last_error(), "");
      EXPECT_EQ(info_of(r.value), c.info);
    };
    s.cleanup = [](const Raw& r) {
      if (r.value >= 0) tf_close(r.value);
    };
    s.probe_path = probe;
    s.probe_handle = 0;
    s.watch_dir = dir.path();
    tf_inject::sweep(s);
  }
}

TEST(AllocFailures, OpenWithEveryHandleTaken) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  std::vector<int> held;
  for (int i = 0; i < 64; ++i) held.push_back(tf_open(probe.c_str()));
  ASSERT_EQ(held.back(), 63);
  const std::string text = "\xFF\xFE" + repeat(std::string("x\0", 2), 500);
  const std::string path = dir.write("doc.txt", text);
  Scenario s;
  s.label = "tf_open (64 handles open)";
  s.string_result = false;
  s.call = [&] { return Raw{tf_open(path.c_str()), nullptr}; };
  s.classify = [&](const std::vector<Allocation>& b, std::size_t i) {
    return classify_open(b, i, text.size(), path.size(), false);
  };
  s.check_normal = [](const Raw& r) {
    EXPECT_EQ(r.value, -1);
    EXPECT_STREQ(tf_last_error(), "too many open handles (max 64)");
  };
  s.probe_path = probe;
  s.probe_handle = -1;
  s.watch_dir = dir.path();
  tf_inject::sweep(s);
  for (int h : held) tf_close(h);
}

TEST(AllocFailures, Info) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  for (const OpenCase& c : open_cases()) {
    const int h = tf_open(dir.write("doc.txt", c.bytes).c_str());
    ASSERT_EQ(h, 0);
    Scenario s;
    s.label = std::string("tf_info (") + c.name + ")";
    s.call = [&] { return Raw{0, tf_info(h)}; };
    s.classify = [](const std::vector<Allocation>& b, std::size_t i) {
      return classify_json(b, i, "out of memory", "failed to serialize JSON");
    };
    s.check_normal = [&](const Raw& r) {
      ASSERT_NE(r.text, nullptr) << tf_last_error();
      EXPECT_EQ(std::string(r.text), c.info);
    };
    s.normal_json = c.info;
    s.probe_path = probe;
    s.probe_handle = 1;
    tf_inject::sweep(s);
    tf_close(h);
  }
}

// Calls that allocate nothing cannot fail for lack of memory.
TEST(AllocFailures, CallsWithoutAllocations) {
  TempDir dir;
  const int h = tf_open(dir.write("doc.txt", "abc").c_str());
  ASSERT_GE(h, 0);
  char* json = tf_info(h);
  tf_inject::arm(1);
  const char* version = tf_version();
  const char* message = tf_last_error();
  tf_free_string(json);
  tf_free_string(nullptr);
  const int closed = tf_close(h);
  const int closed_again = tf_close(h);
  char* invalid = tf_info(h);
  const tf_inject::Window w = tf_inject::disarm();
  EXPECT_EQ(w.count, 0u);
  EXPECT_STREQ(version, "1.0.1");
  EXPECT_NE(message, nullptr);
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(closed_again, 0);
  EXPECT_EQ(invalid, nullptr);
  EXPECT_STREQ(tf_last_error(), "invalid handle");
  EXPECT_EQ(tf_inject::live_blocks(), 0u);
}

}  // namespace
