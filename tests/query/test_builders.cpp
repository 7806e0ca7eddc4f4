// build_stats_result and build_linecol_result on slots made by hand, so that
// texts no decoder would produce (cut sequences, stray bytes) are covered.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "frame/heap.hpp"
#include "frame/library_state.hpp"
#include "query/linecol.hpp"
#include "query/stats.hpp"

namespace {

using namespace std::string_view_literals;

tf::HandleSlot slot_with(std::string_view text) {
  tf::HandleSlot slot;
  slot.in_use = 1;
  slot.text = tf::alloc_bytes(text.size() + 1);
  if (!text.empty()) std::memcpy(slot.text.get(), text.data(), text.size());
  slot.text[text.size()] = 0;
  slot.text_length = text.size();
  return slot;
}

std::string take(char* json) {
  if (json == nullptr) return "<null>";
  std::string s(json);
  std::free(json);
  return s;
}

TEST(BuildStats, Examples) {
  static const struct {
    std::string_view text;
    const char* json;
  } kCases[] = {
      {""sv, "{\"lines\":0,\"words\":0,\"chars\":0,\"bytes\":0}"},
      {"Hello, world\n"sv, "{\"lines\":1,\"words\":2,\"chars\":13,\"bytes\":13}"},
      {"a\0b"sv, "{\"lines\":1,\"words\":2,\"chars\":3,\"bytes\":3}"},
      {"na\xC3\xAFve caf\xC3\xA9"sv, "{\"lines\":1,\"words\":2,\"chars\":10,\"bytes\":12}"},
      {"\r\r\n\n"sv, "{\"lines\":3,\"words\":0,\"chars\":4,\"bytes\":4}"},
      {"ab\xE2\x82"sv, "{\"lines\":1,\"words\":1,\"chars\":4,\"bytes\":4}"},
      {"\xF0\x9F\x98"sv, "{\"lines\":1,\"words\":1,\"chars\":3,\"bytes\":3}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    const tf::HandleSlot slot = slot_with(c.text);
    EXPECT_EQ(take(tf::query::build_stats_result(slot)), c.json);
  }
}

TEST(BuildStats, SlotWithoutText) {
  const tf::HandleSlot slot;
  EXPECT_EQ(take(tf::query::build_stats_result(slot)),
            "{\"lines\":0,\"words\":0,\"chars\":0,\"bytes\":0}");
}

TEST(BuildLinecol, OffsetsAndTheSlotWithoutText) {
  const tf::HandleSlot slot = slot_with("ab\r\ncd"sv);
  EXPECT_EQ(take(tf::query::build_linecol_result(slot, 3)), "{\"line\":2,\"col\":1}");
  EXPECT_EQ(take(tf::query::build_linecol_result(slot, std::numeric_limits<std::int64_t>::min())),
            "{\"line\":1,\"col\":1}");
  EXPECT_EQ(take(tf::query::build_linecol_result(slot, std::numeric_limits<std::int64_t>::max())),
            "{\"line\":2,\"col\":3}");
  const tf::HandleSlot empty = slot_with(""sv);
  EXPECT_EQ(take(tf::query::build_linecol_result(empty, 5)), "{\"line\":1,\"col\":1}");
  const tf::HandleSlot no_text;
  EXPECT_EQ(tf::query::build_linecol_result(no_text, 0), nullptr);
}

}  // namespace
