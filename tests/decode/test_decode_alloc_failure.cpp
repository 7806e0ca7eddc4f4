// Running out of memory while decoding and opening. This binary is linked
// with --wrap=malloc,realloc,free (see tests.cmake), so every call the
// library and these tests make goes through the wrappers below: they count
// the blocks held while tracking is on, and can make one chosen call fail.
// Under ASan the real functions are its interceptors, and LeakSanitizer
// checks the whole run as well.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/decode.hpp"
#include "decode/decode_test_util.hpp"
#include "decode/open_file.hpp"
#include "frame/library_state.hpp"
#include "reference/utf8_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

struct AllocationControl {
  bool tracking = false;
  long calls = 0;      // malloc and realloc calls while tracking
  long fail_call = 0;  // the call that returns null (1-based; 0 = none)
  long held = 0;       // blocks gained minus blocks freed while tracking
  long reallocs = 0;   // realloc calls while tracking
  std::size_t last_realloc_size = 0;
};

AllocationControl g_alloc;

bool fail_this_call() {
  if (!g_alloc.tracking) return false;
  ++g_alloc.calls;
  return g_alloc.calls == g_alloc.fail_call;
}

// Tracks the allocations of one scope; `fail_call` picks the one to fail.
class Tracking {
 public:
  explicit Tracking(long fail_call = 0) {
    g_alloc = AllocationControl{};
    g_alloc.fail_call = fail_call;
    g_alloc.tracking = true;
  }
  ~Tracking() { stop(); }
  Tracking(const Tracking&) = delete;
  Tracking& operator=(const Tracking&) = delete;
  void stop() { g_alloc.tracking = false; }
};

}  // namespace

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);

void* __wrap_malloc(std::size_t size) {
  if (fail_this_call()) return nullptr;
  void* p = __real_malloc(size);
  if (p != nullptr && g_alloc.tracking) ++g_alloc.held;
  return p;
}

void* __wrap_realloc(void* block, std::size_t size) {
  if (g_alloc.tracking) {
    ++g_alloc.reallocs;
    g_alloc.last_realloc_size = size;
  }
  if (fail_this_call()) return nullptr;
  void* p = __real_realloc(block, size);
  if (p != nullptr && block == nullptr && g_alloc.tracking) ++g_alloc.held;
  return p;
}

void __wrap_free(void* block) {
  if (block != nullptr && g_alloc.tracking) --g_alloc.held;
  __real_free(block);
}
}  // extern "C"

namespace {

using tf::decode::DecodedText;
using tf_ref::Bytes;
using tf_test::hex;

TEST(AllocationFailure, TheWrappersSeeTheLibrarysCalls) {
  // Without this, every other test here would pass vacuously.
  const unsigned char a = 'a';
  DecodedText out;
  Tracking tracking;
  ASSERT_EQ(tf::decode::decode_ansi(&a, 1, out), 0);
  tracking.stop();
  EXPECT_EQ(g_alloc.calls, 1);  // the text block, sized for the worst case
  EXPECT_EQ(g_alloc.held, 1);
}

struct Input {
  const char* name;
  Bytes bytes;
  int encoding;
};

std::vector<Input> inputs() {
  Bytes long_utf8;  // several growths, with replacements along the way
  for (int i = 0; i < 700; ++i) {
    tf_ref::append_utf8(long_utf8, static_cast<std::uint32_t>(i % 3 == 0 ? 0xE9 : 'a' + i % 26));
    if (i % 97 == 0) long_utf8.push_back(0xFF);
  }
  Bytes marked = {0xEF, 0xBB, 0xBF};
  marked.insert(marked.end(), long_utf8.begin(), long_utf8.end());
  Bytes utf16 = {0xFF, 0xFE};
  for (int i = 0; i < 600; ++i) {
    utf16.push_back(static_cast<unsigned char>(i % 2 == 0 ? 0x3D : 0x41));
    utf16.push_back(static_cast<unsigned char>(i % 2 == 0 ? 0xD8 : 0x00));
  }
  Bytes ansi(900);
  for (std::size_t i = 0; i < ansi.size(); ++i) ansi[i] = static_cast<unsigned char>(i * 7);
  return {
      {"empty utf8", {}, 0},
      {"empty utf16le", {}, 2},
      {"mark only", {0xEF, 0xBB, 0xBF}, 1},
      {"utf16le mark only", {0xFF, 0xFE}, 2},
      {"empty ansi", {}, 3},
      {"short utf8", {'h', 'i'}, 0},
      {"long utf8 with replacements", long_utf8, 0},
      {"long utf8-bom", marked, 1},
      {"long utf16le", utf16, 2},
      {"long ansi", ansi, 3},
  };
}

// Fails each allocation of a decode in turn: every failure gives -1, no
// text, a zero length and nothing held; once no call fails, the text is the
// one an undisturbed decode gives.
TEST(DecodeToUtf8, EveryAllocationFailureReleasesEverything) {
  for (const Input& input : inputs()) {
    SCOPED_TRACE(input.name);
    tf_test::ExactCopy copy(input.bytes);
    DecodedText expected;
    ASSERT_EQ(tf::decode::decode_to_utf8(copy.data(), copy.size(), input.encoding, expected), 0);

    bool succeeded = false;
    long fail_call = 1;
    for (; !succeeded && fail_call < 50; ++fail_call) {
      SCOPED_TRACE("allocation " + std::to_string(fail_call) + " fails");
      DecodedText out;
      out.sanitized = 7;
      Tracking tracking(fail_call);
      const int rc = tf::decode::decode_to_utf8(copy.data(), copy.size(), input.encoding, out);
      tracking.stop();
      if (rc == 0) {
        succeeded = true;
        EXPECT_GT(fail_call, g_alloc.calls);  // nothing failed
        EXPECT_EQ(g_alloc.held, 1);           // the text
        ASSERT_NE(out.text, nullptr);
        EXPECT_EQ(hex(tf_test::text_of(out)), hex(tf_test::text_of(expected)));
        EXPECT_EQ(out.sanitized, expected.sanitized);
      } else {
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(out.text, nullptr);
        EXPECT_EQ(out.text_length, 0u);
        EXPECT_EQ(g_alloc.held, 0);
      }
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(fail_call, 2) << "the first allocation's failure was not seen";
  }
}

// The text block is sized from the input once, never grown step by step:
// exactly for UTF-8 (one allocation, no reallocation), and for ansi at twice
// the input and then shrunk to the text when that gives back at least a page.
TEST(DecodeToUtf8, TheTextBlockIsSizedOnceFromTheInput) {
  const Bytes ascii(100000, 'a');
  {
    DecodedText out;
    Tracking tracking;
    ASSERT_EQ(tf::decode::decode_to_utf8(ascii.data(), ascii.size(), 0, out), 0);
    tracking.stop();
    EXPECT_EQ(g_alloc.calls, 1);
    EXPECT_EQ(g_alloc.reallocs, 0);
  }
  {
    DecodedText out;
    Tracking tracking;
    ASSERT_EQ(tf::decode::decode_to_utf8(ascii.data(), ascii.size(), 3, out), 0);
    tracking.stop();
    EXPECT_EQ(g_alloc.calls, 2);
    EXPECT_EQ(g_alloc.reallocs, 1);
    EXPECT_EQ(g_alloc.last_realloc_size, 100001u);
  }
}

bool any_slot_in_use() {
  tf::TableLock lock;
  for (const tf::HandleSlot& slot : tf::library_state().table) {
    if (slot.in_use != 0) return true;
  }
  return false;
}

// tf_open allocates the read buffer, then decodes, then copies the path.
// Failing each allocation in turn gives the matching message, takes no slot
// and holds no memory. An open file holds its text and its path: the read
// buffer of a file that is not its own text is released after decoding.
TEST(Open, EveryAllocationFailureHasItsMessageAndReleasesEverything) {
  tf::ensure_initialized();
  tf_test::TempDir dir;
  Bytes content(400);
  for (std::size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<unsigned char>(0x80 + i % 128);  // ansi: 800 bytes of text
  }
  const std::string path = dir.write("ansi.txt", std::string(content.begin(), content.end()));

  long decode_calls = 0;
  {
    DecodedText probe;
    Tracking tracking;
    ASSERT_EQ(tf::decode::decode_to_utf8(content.data(), content.size(), 3, probe), 0);
    tracking.stop();
    decode_calls = g_alloc.calls;
  }
  ASSERT_EQ(decode_calls, 1);  // the text block, twice the input

  for (long fail_call = 1; fail_call <= decode_calls + 3; ++fail_call) {
    SCOPED_TRACE("allocation " + std::to_string(fail_call) + " fails");
    Tracking tracking(fail_call);
    const int handle = tf::decode::open_path(path.c_str());
    tracking.stop();
    const std::string message = tf::last_error_buffer();
    if (fail_call == 1) {
      EXPECT_EQ(handle, -1);
      EXPECT_EQ(message, "out of memory");  // the read buffer
    } else if (fail_call <= 1 + decode_calls) {
      EXPECT_EQ(handle, -1);
      EXPECT_EQ(message, "decode failed / out of memory");
    } else if (fail_call == 2 + decode_calls) {
      EXPECT_EQ(handle, -1);
      EXPECT_EQ(message, "out of memory");  // the path copy
    } else {
      ASSERT_GE(handle, 0) << message;
      EXPECT_EQ(message, "");
      EXPECT_EQ(g_alloc.held, 2);  // text, path
      Tracking closing;
      tf::decode::close_handle(handle);
      closing.stop();
      EXPECT_EQ(g_alloc.held, -2);
      continue;
    }
    EXPECT_EQ(g_alloc.held, 0);
    EXPECT_FALSE(any_slot_in_use());
  }
  EXPECT_FALSE(any_slot_in_use());
}

}  // namespace
