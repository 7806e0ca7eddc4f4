// The one process-wide record: the table of 64 handle slots, the lock that
// guards it, and the last-error buffer. Zero-initialised static storage; the
// one-time initialisation runs on the first export that needs it.
#pragma once

#include <cstdint>
#include <utility>

#include "frame/heap.hpp"
#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "frame/text_lease.hpp"
#include "platform/mutex.hpp"

namespace tf {

inline constexpr int kMaxHandles = 64;

// One open document. A free slot is all zero; a slot in use owns its blocks.
struct HandleSlot {
  int in_use = 0;
  HeapChars path;                // copy of the path given to tf_open; read by no query
  std::uint64_t raw_length = 0;  // the file's size, as read (its bytes are not kept)
  HeapBytes text;                // decoded UTF-8 plus a 0x00 terminator
  std::uint64_t text_length = 0;
  int encoding = 0;
  int had_bom = 0;
  int sanitized = 0;
  int line_ending = 0;
  std::int64_t lines = 0;      // count_lines of the text, counted while the file was read
  TextLease* lease = nullptr;  // made by the first tf_save of this text; keeps the
                               // text alive past tf_close while a save reads it

  // Releases the blocks (the text goes to the lease when there is one) and
  // returns every field to zero.
  void reset() noexcept {
    if (lease != nullptr) {
      lease->adopt(std::move(text));
      lease->release();
    }
    *this = HandleSlot{};
  }
};

struct LibraryState {
  HandleSlot table[kMaxHandles];
  platform::Mutex table_lock;
  char last_error[kLastErrorSize] = {};
};

LibraryState& library_state() noexcept;

// Runs the one-time initialisation; concurrent first callers wait for it.
// It registers the fork handlers of every lock of the library, so that they
// are in place before any call can hold one.
void ensure_initialized() noexcept;

// The fork handlers of the list of saves running (save/target_lock.cpp).
void guard_saves_across_fork() noexcept;

// Holds the table lock for its lifetime.
class TableLock {
 public:
  TableLock() noexcept { library_state().table_lock.lock(); }
  ~TableLock() { library_state().table_lock.unlock(); }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
};

// The slot of a valid handle (0..63, in use), or null. Needs the table lock.
HandleSlot* lookup_handle(int handle) noexcept;

// The call frame of every export that reads a handle: initialise, lock,
// validate, work, unlock, then publish the failure message, if any. `work`
// gets the slot and a PendingError and returns the result; the message it
// formats reaches the last-error buffer only after the lock is released.
template <class Result, class Work>
Result with_handle(int handle, Result failure, Work&& work) {
  ensure_initialized();
  PendingError error;
  Result result = failure;
  {
    TableLock lock;
    HandleSlot* slot = lookup_handle(handle);
    if (slot == nullptr) {
      error.set("%s", msg::kInvalidHandle);
    } else {
      result = work(*slot, error);
    }
  }
  if (error.failed()) {
    error.publish();
    return failure;
  }
  return result;
}

}  // namespace tf
