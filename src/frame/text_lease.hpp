// A handle's decoded text lent to a save that reads it after the table lock
// has been released. The slot keeps owning the text while it is open; when
// it is closed while a save still reads, the lease takes the text over and
// the last reader frees it. So a save never needs a private copy of the
// text, and a close never waits for a save.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/heap.hpp"

namespace tf {

class TextLease {
 public:
  // A lease on `text`, which the slot still owns, with one reference: the
  // slot's. Null when it cannot be allocated.
  static TextLease* create(const unsigned char* text) noexcept;

  // One more reader. Called under the table lock.
  void acquire() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }

  // Drops one reference; the last one frees the lease and any text it took
  // over. Any thread, lock or no lock.
  void release() noexcept;

  // The slot lets go of its text; it stays alive until the last release.
  // Called under the table lock, before the slot drops its reference.
  void adopt(HeapBytes text) noexcept { owned_ = std::move(text); }

  const unsigned char* data() const noexcept { return data_; }

 private:
  explicit TextLease(const unsigned char* text) noexcept : data_(text) {}
  ~TextLease() = default;

  std::atomic<std::uint32_t> refs_{1};
  const unsigned char* data_;
  HeapBytes owned_;
};

// Releases a reader's reference when it goes out of scope.
class LeaseHold {
 public:
  explicit LeaseHold(TextLease* lease) noexcept : lease_(lease) {}
  ~LeaseHold() {
    if (lease_ != nullptr) lease_->release();
  }
  LeaseHold(const LeaseHold&) = delete;
  LeaseHold& operator=(const LeaseHold&) = delete;

 private:
  TextLease* lease_;
};

}  // namespace tf
