// Every allocation an export makes, failed one at a time: each failure gives
// the export's failure value and the exact message for that allocation (or,
// for a JSON member that cannot be allocated, the result without that
// member), nothing stays allocated, no handle slot stays taken and no file is
// left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "faults/alloc_injector.hpp"
#include "faults/alloc_sweep.hpp"
#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
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
      // A text block sized from a bound is shrunk to fit at the end; when the
      // shrink fails the larger block is simply kept.
      const auto it = std::find(own.begin(), own.end(), index);
      if (a.kind == 'r' && it != own.begin() && baseline[*(it - 1)].size > a.size) {
        return tf_inject::normal_result();
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
    case Origin::kLibrary:
      // A result made only of names and integers is written by the library
      // itself into one block: without it, writing fails.
      return fail_with(write_failed);
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
      // Large enough for the blocks meant for many megabytes.
      {"utf8, 3 MiB", repeat("x\xC3\xA9\n", 786432),
       R"({"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":3145728,"raw_bytes":3145728,"lines":786432,"sanitized":0})"},
      {"ansi, 3 MiB", repeat("\xE9\xE8\r\n", 786432),
       R"({"encoding":"ansi","had_bom":0,"line_ending":"crlf","bytes":4718592,"raw_bytes":3145728,"lines":786432,"sanitized":0})"},
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

// A document with line breaks of every kind, a two-byte character and a
// 0x00 byte, for the queries.
const std::string kDocument = std::string("ab\ncd\r\nh\xC3\xA9llo\r\0tail", 19);

struct QueryFixture {
  TempDir dir;
  std::string probe = dir.write("probe.txt", "probe");
  int handle = tf_open(dir.write("doc.txt", kDocument).c_str());
};

Scenario json_query(const std::string& probe, std::string label, std::function<Raw()> call,
                    std::string normal,
                    std::function<Expect(const std::vector<Allocation>&, std::size_t)> classify) {
  Scenario s;
  s.label = std::move(label);
  s.call = std::move(call);
  s.classify = std::move(classify);
  s.normal_json = normal;
  s.check_normal = [normal](const Raw& r) {
    if (normal.empty()) {
      EXPECT_EQ(r.text, nullptr);
      return;
    }
    ASSERT_NE(r.text, nullptr) << tf_last_error();
    EXPECT_EQ(std::string(r.text), normal);
  };
  s.probe_path = probe;
  s.probe_handle = 1;
  return s;
}

TEST(AllocFailures, Text) {
  QueryFixture f;
  ASSERT_EQ(f.handle, 0);
  struct {
    std::int64_t offset;
    std::int32_t max_bytes;
    const char* normal;  // "" when the page is not valid UTF-8
  } const cases[] = {
      {0, 5, R"({"text":"ab\ncd","next_offset":5})"},
      {0, 1000, R"({"text":"ab\ncd\r\nhéllo\r","next_offset":19})"},
      {0, 0, R"({"text":"","next_offset":0})"},
      {-5, 2, R"({"text":"ab","next_offset":2})"},
      {INT64_MAX, INT32_MAX, R"({"text":"","next_offset":19})"},
      {9, 1, ""},  // the first byte of 'é' alone
  };
  for (const auto& c : cases) {
    const std::int64_t offset = c.offset;
    const std::int32_t max_bytes = c.max_bytes;
    Scenario s = json_query(
        f.probe, "tf_text (" + std::to_string(offset) + ", " + std::to_string(max_bytes) + ")",
        [=] {
          return Raw{0, tf_text(0, offset, max_bytes)};
        },
        c.normal,
        [](const std::vector<Allocation>& b, std::size_t i) {
          if (origin_of(b[i]) == Origin::kLibrary) return fail_with("out of memory");
          if (origin_of(b[i]) == Origin::kYyjson && i != indexes_from(b, Origin::kYyjson).front()) {
            // A page the document has no room for fails the call rather than
            // coming back without its text.
            return fail_or_left_out("failed to serialize JSON", "out of memory", "text");
          }
          return classify_json(b, i, "out of memory", "failed to serialize JSON");
        });
    if (std::string(c.normal).empty()) {
      s.check_normal = [](const Raw& r) {
        EXPECT_EQ(r.text, nullptr);
        EXPECT_STREQ(tf_last_error(), "failed to serialize JSON");
      };
    }
    tf_inject::sweep(s);
  }
  tf_close(f.handle);
}

TEST(AllocFailures, Full) {
  QueryFixture f;
  ASSERT_EQ(f.handle, 0);
  Scenario s;
  s.label = "tf_full";
  s.call = [] { return Raw{0, tf_full(0)}; };
  s.classify = [](const std::vector<Allocation>& b, std::size_t i) {
    EXPECT_EQ(origin_of(b[i]), Origin::kLibrary);
    EXPECT_EQ(b[i].size, kDocument.size() + 1);
    return fail_with("out of memory");
  };
  s.check_normal = [](const Raw& r) {
    ASSERT_NE(r.text, nullptr);
    EXPECT_EQ(std::string(r.text, kDocument.size() + 1), kDocument + '\0');
  };
  s.probe_path = f.probe;
  s.probe_handle = 1;
  tf_inject::sweep(s);
  tf_close(f.handle);
}

TEST(AllocFailures, StatsAndLinecol) {
  QueryFixture f;
  ASSERT_EQ(f.handle, 0);
  tf_inject::sweep(json_query(
      f.probe, "tf_stats",
      [] {
        return Raw{0, tf_stats(0)};
      },
      R"({"lines":4,"words":4,"chars":18,"bytes":19})",
      [](const std::vector<Allocation>& b, std::size_t i) {
        return classify_json(b, i, "failed to build stats", "failed to build stats");
      }));
  for (const std::int64_t offset : {std::int64_t{0}, std::int64_t{10}, INT64_MIN, INT64_MAX}) {
    const auto normal = offset == 10 ? R"({"line":3,"col":4})"
                        : offset > 0 ? R"({"line":4,"col":6})"
                                     : R"({"line":1,"col":1})";
    tf_inject::sweep(json_query(
        f.probe, "tf_linecol (" + std::to_string(offset) + ")",
        [=] {
          return Raw{0, tf_linecol(0, offset)};
        },
        normal,
        [](const std::vector<Allocation>& b, std::size_t i) {
          return classify_json(b, i, "linecol failed", "linecol failed");
        }));
  }
  tf_close(f.handle);
}

TEST(AllocFailures, Search) {
  QueryFixture f;
  ASSERT_EQ(f.handle, 0);
  struct {
    const char* query;
    int fold;
    int max_hits;
    const char* normal;
  } const cases[] = {
      {"l", 0, 0,
       R"({"count":3,"query_len":1,"hits":[{"offset":10,"length":1},{"offset":11,"length":1},)"
       R"({"offset":18,"length":1}]})"},
      {"C", 1, 1, R"({"count":1,"query_len":1,"hits":[{"offset":3,"length":1}]})"},
      {"zz", 0, -5, R"({"count":0,"query_len":2,"hits":[]})"},
      {"", 0, INT32_MAX, R"({"count":0,"query_len":0,"hits":[]})"},
      {"a", 0, INT32_MIN,
       R"({"count":2,"query_len":1,"hits":[{"offset":0,"length":1},{"offset":16,"length":1}]})"},
  };
  for (const auto& c : cases) {
    const std::string query = c.query;
    const int fold = c.fold;
    const int max_hits = c.max_hits;
    tf_inject::sweep(json_query(
        f.probe, "tf_search ('" + query + "', " + std::to_string(max_hits) + ")",
        [&query, fold, max_hits] {
          return Raw{0, tf_search(0, query.c_str(), fold, max_hits)};
        },
        c.normal,
        [](const std::vector<Allocation>& b, std::size_t i) {
          // The hit array comes first, from the library itself.
          if (origin_of(b[i]) == Origin::kLibrary) return fail_with("search failed");
          return classify_json(b, i, "search failed", "search failed");
        }));
  }
  tf_close(f.handle);
}

// Enough hits that the document's value pool grows many times: a hit whose
// object cannot be allocated is left out of "hits".
TEST(AllocFailures, SearchWithManyHits) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  const int h = tf_open(dir.write("doc.txt", std::string(3000, 'a')).c_str());
  ASSERT_EQ(h, 0);
  std::string normal = R"({"count":2000,"query_len":2,"hits":[)";
  for (int i = 0; i < 2000; ++i) {
    normal +=
        (i > 0 ? "," : "") + std::string(R"({"offset":)") + std::to_string(i) + R"(,"length":2})";
  }
  normal += "]}";
  tf_inject::sweep(json_query(
      probe, "tf_search (2000 hits)",
      [] {
        return Raw{0, tf_search(0, "aa", 0, 2000)};
      },
      normal,
      [](const std::vector<Allocation>& b, std::size_t i) {
        if (origin_of(b[i]) == Origin::kLibrary) return fail_with("search failed");
        return classify_json(b, i, "search failed", "search failed");
      }));
  tf_close(h);
}

TEST(AllocFailures, ReplacePreview) {
  QueryFixture f;
  ASSERT_EQ(f.handle, 0);
  struct {
    const char* find;
    const char* repl;
    int fold;
    const char* normal;
  } const cases[] = {
      {"l", "LL", 0, R"({"count":3,"text":"ab\ncd\r\nhéLLLLo\r"})"},
      {"AB", "", 1, R"({"count":1,"text":"\ncd\r\nhéllo\r"})"},
      {"", "x", 0, R"({"count":0,"text":"ab\ncd\r\nhéllo\r"})"},
      {"c", nullptr, 0, nullptr},  // 200 bytes for 1: grows the output block
  };
  for (const auto& c : cases) {
    const std::string find = c.find;
    const std::string repl = c.repl != nullptr ? c.repl : std::string(200, 'c');
    const int fold = c.fold;
    std::string normal = c.normal != nullptr ? c.normal : "";
    if (c.normal == nullptr) {
      normal = R"({"count":1,"text":"ab\n)" + repl + R"(d\r\nhéllo\r"})";
    }
    tf_inject::sweep(json_query(
        f.probe, "tf_replace_preview ('" + find + "', " + std::to_string(repl.size()) + " bytes)",
        [&find, &repl, fold] {
          return Raw{0, tf_replace_preview(0, find.c_str(), repl.c_str(), fold)};
        },
        normal,
        [](const std::vector<Allocation>& b, std::size_t i) {
          // The output block and its enlargements come from the library.
          if (origin_of(b[i]) == Origin::kLibrary) return fail_with("replace preview failed");
          return classify_json(b, i, "replace preview failed", "replace preview failed");
        }));
  }
  tf_close(f.handle);
}

// A preview longer than 1 MiB is cut in the block that holds only its first
// bytes (a separate 1,048,577-byte copy, as once made, must fail this way
// too): without memory for the text the result keeps "count" and
// "truncated" and leaves out "text".
TEST(AllocFailures, ReplacePreviewCut) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  const int h = tf_open(dir.write("doc.txt", std::string(600000, 'a')).c_str());
  ASSERT_EQ(h, 0);
  char* whole = tf_replace_preview(h, "a", "bb", 0);
  ASSERT_NE(whole, nullptr);
  const std::string normal = whole;
  tf_free_string(whole);
  ASSERT_EQ(normal,
            R"({"count":600000,"text":")" + std::string(1048576, 'b') + R"(","truncated":true})");
  Scenario s = json_query(
      probe, "tf_replace_preview (1 MiB cut)",
      [] {
        return Raw{0, tf_replace_preview(0, "a", "bb", 0)};
      },
      normal,
      [](const std::vector<Allocation>& b, std::size_t i) {
        if (origin_of(b[i]) == Origin::kLibrary && b[i].size == 1048577) {
          return tf_inject::json_result(R"({"count":600000,"truncated":true})");
        }
        if (origin_of(b[i]) == Origin::kLibrary) return fail_with("replace preview failed");
        return classify_json(b, i, "replace preview failed", "replace preview failed");
      });
  tf_inject::sweep(s);
  tf_close(h);
}

// Allocations of a save: a copy of the handle's text (tf_save, where made)
// and the UTF-16LE block. The temporary file is written with plain write
// calls, so the C library allocates nothing for it.
Expect classify_save(const std::vector<Allocation>& baseline, std::size_t index, bool copies,
                     std::size_t copy_size) {
  const Allocation& a = baseline[index];
  switch (origin_of(a)) {
    case Origin::kLibrary:
      // tf_save reads the handle's text in place; a private copy, where one
      // is made, fails as "out of memory".
      if (copies && a.size == copy_size) return fail_with("out of memory");
      return fail_with("out of memory encoding utf16le");
    case Origin::kCxxRuntime:
      return fail_with("out of memory");
    default:
      ADD_FAILURE() << "a save allocates through " << tf_inject::describe_site(a);
      return fail_with("?");
  }
}

std::string encoded(const std::string& text, const std::string& encoding) {
  if (encoding == "utf8-bom") return "\xEF\xBB\xBF" + text;
  if (encoding == "utf16le") return tf_ref::utf16le_encode(text).bytes;
  return text;
}

void sweep_save(const char* which, const std::string& encoding) {
  TempDir dir;
  const std::string probe = dir.write("probe.txt", "probe");
  const std::string text = "h\xC3\xA9llo\r\n" + repeat("line of text\n", 40) + "\xF0\x9F\x98\x80";
  const int handle = tf_open(dir.write("source.txt", text).c_str());
  ASSERT_EQ(handle, 0);
  const std::string target = dir.file("target.txt");
  const std::string temp = target + ".tmp";
  const std::string old_bytes = "the old content\n";
  const std::string new_bytes = encoded(text, encoding);
  const bool copies = std::string(which) == "tf_save";

  Scenario s;
  s.label = std::string(which) + " (" + encoding + ")";
  s.string_result = false;
  if (copies) {
    s.call = [&] { return Raw{tf_save(0, target.c_str(), encoding.c_str()), nullptr}; };
  } else {
    s.call = [&] {
      return Raw{tf_save_text(text.data(), static_cast<int>(text.size()), target.c_str(),
                              encoding.c_str()),
                 nullptr};
    };
  }
  s.classify = [&](const std::vector<Allocation>& b, std::size_t i) {
    return classify_save(b, i, copies, text.size() + 1);
  };
  s.check_normal = [](const Raw& r) { EXPECT_EQ(r.value, 1) << tf_last_error(); };
  s.prepare = [&] { dir.write("target.txt", old_bytes); };
  s.check_files = [&](bool succeeded) {
    EXPECT_EQ(tf_test::read_file(target), succeeded ? new_bytes : old_bytes);
    EXPECT_FALSE(tf_test::file_exists(temp)) << "the temporary file was left behind";
  };
  s.probe_path = probe;
  s.probe_handle = 1;
  s.watch_dir = dir.path();
  tf_inject::sweep(s);
  tf_close(handle);
}

TEST(AllocFailures, SaveText) {
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) sweep_save("tf_save_text", encoding);
}

TEST(AllocFailures, Save) {
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) sweep_save("tf_save", encoding);
}

// The first save of a handle makes what lets it read the handle's text
// after the lock is released; the sweep above sees only later saves. Failed
// on a fresh handle, that first allocation fails the save as "out of memory"
// and takes nothing, and the next save of the handle works.
TEST(AllocFailures, FirstSaveOfAHandle) {
  TempDir dir;
  const std::string text = "first save\n";
  const std::string target = dir.file("target.txt");
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    SCOPED_TRACE(encoding);
    const int h = tf_open(dir.write("source.txt", text).c_str());
    ASSERT_EQ(h, 0);
    dir.write("target.txt", "old");
    tf_inject::arm(1);
    const int rc = tf_save(h, target.c_str(), encoding);
    const tf_inject::Window w = tf_inject::disarm();
    const std::vector<Allocation> seen = tf_inject::recorded();
    ASSERT_TRUE(w.injected);
    EXPECT_EQ(origin_of(seen[0]), Origin::kLibrary) << tf_inject::describe_site(seen[0]);
    EXPECT_EQ(rc, -1);
    EXPECT_STREQ(tf_last_error(), "out of memory");
    EXPECT_EQ(tf_inject::live_blocks(), 0u);
    EXPECT_EQ(tf_test::read_file(target), "old");
    EXPECT_FALSE(tf_test::file_exists(target + ".tmp"));
    EXPECT_EQ(tf_save(h, target.c_str(), encoding), 1) << tf_last_error();
    EXPECT_EQ(tf_test::read_file(target), encoded(text, encoding));
    tf_close(h);
    EXPECT_EQ(tf_inject::live_blocks(), 0u);
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
