#include "save/save.hpp"

#include <cstring>

#include "frame/heap.hpp"
#include "frame/last_error.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "frame/text_lease.hpp"
#include "save/save_encoded.hpp"

namespace tf::save {

int save_handle(int handle, const char* path, const char* encoding) noexcept {
  ensure_initialized();
  if (path == nullptr || encoding == nullptr) {
    set_last_error("%s", msg::kNullArgument);
    return -1;
  }

  // Under the lock the text is only lent: the save reads the handle's own
  // text afterwards, and a close meanwhile leaves it to the lease, which
  // frees it once the save is done.
  const char* failure = nullptr;
  TextLease* lease = nullptr;
  std::uint64_t length = 0;
  {
    TableLock lock;
    HandleSlot* slot = lookup_handle(handle);
    if (slot == nullptr) {
      failure = msg::kInvalidHandle;
    } else {
      length = slot->text_length;
      if (slot->lease == nullptr) slot->lease = TextLease::create(slot->text.get());
      if (slot->lease == nullptr) {
        failure = msg::kOutOfMemory;
      } else {
        lease = slot->lease;
        lease->acquire();
      }
    }
  }
  if (failure != nullptr) {
    set_last_error("%s", failure);
    return -1;
  }
  const LeaseHold hold(lease);
  return save_encoded(lease->data(), length, path, encoding);
}

int save_text(const char* text, int length, const char* path, const char* encoding) noexcept {
  ensure_initialized();
  if (path == nullptr || encoding == nullptr || text == nullptr) {
    set_last_error("%s", msg::kNullArgument);
    return -1;
  }
  const std::uint64_t used = length < 0 ? std::strlen(text) : static_cast<std::uint64_t>(length);
  return save_encoded(reinterpret_cast<const unsigned char*>(text), used, path, encoding);
}

}  // namespace tf::save
