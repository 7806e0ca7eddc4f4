// The lease through which a save reads a handle's text after the lock: the
// text outlives a close for as long as a reader holds the lease, and is
// released with the last reference either way (AddressSanitizer checks both
// the reads and that nothing leaks).
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "frame/large_block.hpp"
#include "frame/library_state.hpp"
#include "frame/text_lease.hpp"

namespace {

tf::HandleSlot slot_with_text(const char* text) {
  tf::HandleSlot slot;
  slot.in_use = 1;
  slot.text_length = std::strlen(text);
  slot.text = tf::alloc_bytes(slot.text_length + 1);
  std::memcpy(slot.text.get(), text, slot.text_length + 1);
  return slot;
}

TEST(TextLease, TheTextOutlivesACloseWhileAReaderHoldsIt) {
  tf::HandleSlot slot = slot_with_text("lent text");
  slot.lease = tf::TextLease::create(slot.text.get());
  ASSERT_NE(slot.lease, nullptr);
  tf::TextLease* lease = slot.lease;
  lease->acquire();
  slot.reset();  // the close
  EXPECT_EQ(slot.text, nullptr);
  EXPECT_EQ(slot.lease, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(lease->data()), "lent text");
  lease->release();  // the last reference frees the text
}

TEST(TextLease, ACloseAfterTheReadersLeftFreesTheTextAtOnce) {
  tf::HandleSlot slot = slot_with_text("short");
  slot.lease = tf::TextLease::create(slot.text.get());
  ASSERT_NE(slot.lease, nullptr);
  {
    slot.lease->acquire();
    const tf::LeaseHold hold(slot.lease);
  }
  slot.reset();
  EXPECT_EQ(slot.text, nullptr);
}

TEST(TextLease, ReadersOnManyThreadsAndACloseInTheMiddle) {
  for (int round = 0; round < 50; ++round) {
    tf::HandleSlot slot = slot_with_text("shared by every reader");
    slot.lease = tf::TextLease::create(slot.text.get());
    ASSERT_NE(slot.lease, nullptr);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
      slot.lease->acquire();  // under the table lock, in the library
      tf::TextLease* lease = slot.lease;
      readers.emplace_back([lease] {
        const tf::LeaseHold hold(lease);
        EXPECT_EQ(lease->data()[0], 's');
      });
    }
    slot.reset();
    for (std::thread& r : readers) r.join();
  }
}

}  // namespace
