// The handle table: 64 slots, lowest free first, reuse after close, and the
// invalid-handle answer of every export that takes a handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::TempDir;

TEST(Library, VersionAndFirstMessage) {
  EXPECT_STREQ(tf_version(), "1.0.1");
  const char* first = tf_last_error();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(tf_last_error(), first);  // the same address every time
  tf_free_string(nullptr);
}

TEST(Handles, SixtyFiveOpensAndSlotReuse) {
  TempDir dir;
  const std::string p = dir.write("a.txt", "a");
  std::vector<int> handles;
  for (int i = 0; i < 64; ++i) {
    const int h = tf_open(p.c_str());
    ASSERT_EQ(h, i) << tf_last_error();
    handles.push_back(h);
  }
  EXPECT_EQ(tf_open(p.c_str()), -1);
  EXPECT_STREQ(tf_last_error(), "too many open handles (max 64)");

  EXPECT_EQ(tf_close(5), 0);
  EXPECT_EQ(tf_open(p.c_str()), 5);
  EXPECT_EQ(tf_close(5), 0);
  EXPECT_EQ(tf_close(5), 0);  // closing twice is harmless
  char* gone = tf_info(5);
  EXPECT_EQ(gone, nullptr);
  EXPECT_STREQ(tf_last_error(), "invalid handle");
  for (int h : handles) tf_close(h);
}

TEST(Handles, InvalidHandlesOnEveryExport) {
  for (int h : {-1, 64, 1000, -2147483647 - 1}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(tf_info(h), nullptr);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
}

TEST(Handles, CloseOfInvalidHandleKeepsTheMessage) {
  EXPECT_EQ(tf_open(nullptr), -1);
  for (int h : {-1, 64, 1000}) {
    EXPECT_EQ(tf_close(h), 0);
    EXPECT_STREQ(tf_last_error(), "path is NULL");
  }
}

}  // namespace
