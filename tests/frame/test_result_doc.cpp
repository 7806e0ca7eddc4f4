// ResultDoc, the builder of every JSON result: compact output, escaping,
// strings cut at 0x00, refusal of ill-formed UTF-8, members left out when
// they cannot be allocated, and output that free() can release.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "frame/result_doc.hpp"
#include "support/alloc_probe.hpp"
#include "support/heap_blocks.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define TF_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TF_TEST_ASAN 1
#endif
#endif

#if defined(TF_TEST_ASAN)
// The AddressSanitizer allocator's own view of a block (declared here: not
// every compiler ships the header that declares them).
extern "C" int __sanitizer_get_ownership(const volatile void* p);
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);
#endif

namespace {

using tf::ResultDoc;

// The written text as a std::string; releases it. "<null>" when writing failed.
std::string take(char* json) {
  if (json == nullptr) return "<null>";
  std::string s(json);
  std::free(json);
  return s;
}

std::string one_string(const char* value) {
  ResultDoc doc;
  EXPECT_TRUE(doc.created());
  EXPECT_TRUE(doc.add_string("s", value));
  return take(doc.write());
}

TEST(ResultDoc, EscapesQuoteBackslashAndControlsButNotUtf8OrSlash) {
  EXPECT_EQ(one_string("q\"b\\t\tn\nc\x01"
                       "e\xC3\xA9/\x7F"),
            "{\"s\":\"q\\\"b\\\\t\\tn\\nc\\u0001e\xC3\xA9/\x7F\"}");
}

TEST(ResultDoc, EveryControlByte) {
  // Five short escapes; the rest as \u00XX with upper-case hex digits.
  static const struct {
    int byte;
    const char* escaped;
  } kCases[] = {
      {0x01, "\\u0001"}, {0x02, "\\u0002"}, {0x03, "\\u0003"}, {0x04, "\\u0004"}, {0x05, "\\u0005"},
      {0x06, "\\u0006"}, {0x07, "\\u0007"}, {0x08, "\\b"},     {0x09, "\\t"},     {0x0A, "\\n"},
      {0x0B, "\\u000B"}, {0x0C, "\\f"},     {0x0D, "\\r"},     {0x0E, "\\u000E"}, {0x0F, "\\u000F"},
      {0x10, "\\u0010"}, {0x11, "\\u0011"}, {0x12, "\\u0012"}, {0x13, "\\u0013"}, {0x14, "\\u0014"},
      {0x15, "\\u0015"}, {0x16, "\\u0016"}, {0x17, "\\u0017"}, {0x18, "\\u0018"}, {0x19, "\\u0019"},
      {0x1A, "\\u001A"}, {0x1B, "\\u001B"}, {0x1C, "\\u001C"}, {0x1D, "\\u001D"}, {0x1E, "\\u001E"},
      {0x1F, "\\u001F"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.byte);
    const char value[] = {'a', static_cast<char>(c.byte), 'b', '\0'};
    EXPECT_EQ(one_string(value), std::string("{\"s\":\"a") + c.escaped + "b\"}");
  }
}

TEST(ResultDoc, StringStopsAtTheFirstZeroByte) {
  const char value[] = {'a', 'b', '\0', 'c', 'd', '\0'};
  EXPECT_EQ(one_string(value), "{\"s\":\"ab\"}");
  EXPECT_EQ(one_string(""), "{\"s\":\"\"}");
}

TEST(ResultDoc, IllFormedUtf8IsRefusedByTheWriter) {
  static const char* const kBad[] = {
      "\xC3",              // 'é' cut after its lead byte
      "ab\xC3",            // the same at the end of a longer string
      "\xA9z",             // 'é' cut before its last byte
      "\xE2\x82",          // '€' missing its last byte
      "\xC0\x80",          // overlong NUL
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xFF",
  };
  for (const char* bad : kBad) {
    SCOPED_TRACE(bad);
    ResultDoc doc;
    EXPECT_TRUE(doc.add_string("s", bad));
    EXPECT_EQ(doc.write(), nullptr);
  }
  EXPECT_EQ(one_string("\xF0\x9F\x98\x80\xE2\x82\xAC"), "{\"s\":\"\xF0\x9F\x98\x80\xE2\x82\xAC\"}");
}

TEST(ResultDoc, IntegersMembersInOrderAndArrays) {
  ResultDoc doc;
  EXPECT_TRUE(doc.add_int("min", std::numeric_limits<std::int64_t>::min()));
  EXPECT_TRUE(doc.add_int("max", std::numeric_limits<std::int64_t>::max()));
  EXPECT_TRUE(doc.add_int("zero", 0));
  EXPECT_TRUE(doc.add_int("neg", -1));
  EXPECT_NE(doc.add_array("empty"), nullptr);
  yyjson_mut_val* hits = doc.add_array("hits");
  yyjson_mut_val* hit = doc.append_object(hits);
  ResultDoc::add_int_to(doc.doc(), hit, "offset", 7);
  doc.add_true("truncated");
  std::size_t length = 0;
  char* json = doc.write(&length);
  ASSERT_NE(json, nullptr);
  EXPECT_EQ(length, std::strlen(json));
  EXPECT_EQ(take(json),
            "{\"min\":-9223372036854775808,\"max\":9223372036854775807,\"zero\":0,\"neg\":-1,"
            "\"empty\":[],\"hits\":[{\"offset\":7}],\"truncated\":true}");
}

TEST(ResultDoc, OutputComesFromMallocAndFreeReleasesIt) {
  ResultDoc doc;
  doc.add_string("s", "some text");
  std::size_t length = 0;
  tf_test::AllocProbe probe;
  char* json = doc.write(&length);
  ASSERT_NE(json, nullptr);
  // The block holds the text and its terminator.
  EXPECT_GE(tf_test::usable_size(json), length + 1);
#if defined(TF_TEST_ASAN)
  EXPECT_EQ(__sanitizer_get_ownership(json), 1);
  EXPECT_GE(__sanitizer_get_allocated_size(json), length + 1);
#endif
  if (tf_test::AllocProbe::available()) {
    // The writer's block came through malloc/realloc, and free() takes it back.
    EXPECT_TRUE(probe.live(json));
    std::free(json);
    EXPECT_FALSE(probe.live(json));
    EXPECT_EQ(probe.live_blocks(), 0u);
  } else {
    std::free(json);
  }
}

// Every allocation in building and writing a document fails once in turn:
// each outcome is a clean failure or a document that lacks exactly the
// member that could not be allocated, and nothing is left allocated.
TEST(ResultDoc, EachAllocationFailureIsCleanAndLeavesOnlyThatMemberOut) {
  if (!tf_test::AllocProbe::available()) GTEST_SKIP() << "a sanitizer owns the heap";
  const std::string big(5000, 'x');
  const std::string full = "{\"text\":\"" + big + "\",\"next\":5}";
  bool saw_text_left_out = false;
  bool saw_success = false;
  for (std::size_t k = 1; k < 50 && !saw_success; ++k) {
    SCOPED_TRACE(k);
    // Nothing inside the watched window may allocate but the document.
    enum { kNull, kFull, kWithoutText, kOther } outcome = kOther;
    bool created = false;
    bool text_added = false;
    bool injected = false;
    std::size_t leaked = 0;
    {
      tf_test::AllocProbe probe;
      probe.fail_nth(k);
      {
        ResultDoc doc;
        created = doc.created();
        text_added = doc.add_string("text", big.c_str());
        doc.add_int("next", 5);
        char* json = doc.write();
        outcome = json == nullptr                          ? kNull
                  : std::strcmp(json, full.c_str()) == 0   ? kFull
                  : std::strcmp(json, "{\"next\":5}") == 0 ? kWithoutText
                                                           : kOther;
        std::free(json);
      }
      injected = probe.failure_injected();
      leaked = probe.live_blocks();
    }
    EXPECT_EQ(leaked, 0u);
    EXPECT_NE(outcome, kOther);
    if (!injected) {
      EXPECT_EQ(outcome, kFull);
      saw_success = true;
    } else if (!created) {
      EXPECT_EQ(outcome, kNull);
    } else if (outcome == kWithoutText) {
      EXPECT_FALSE(text_added);
      saw_text_left_out = true;
    }
  }
  EXPECT_TRUE(saw_success);
  EXPECT_TRUE(saw_text_left_out);
}

}  // namespace
