#include "save/save.hpp"

#include <cstring>

#include "frame/heap.hpp"
#include "frame/last_error.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "save/save_encoded.hpp"

namespace tf::save {

int save_handle(int handle, const char* path, const char* encoding) noexcept {
  ensure_initialized();
  if (path == nullptr || encoding == nullptr) {
    set_last_error("%s", msg::kNullArgument);
    return -1;
  }

  // Only the copy happens under the lock; the slot may be closed as soon as
  // it is released without affecting the save.
  const char* failure = nullptr;
  HeapBytes copy;
  std::uint64_t length = 0;
  {
    TableLock lock;
    const HandleSlot* slot = lookup_handle(handle);
    if (slot == nullptr) {
      failure = msg::kInvalidHandle;
    } else {
      length = slot->text_length;
      copy = alloc_bytes(length + 1);
      if (!copy) {
        failure = msg::kOutOfMemory;
      } else {
        if (length > 0) std::memcpy(copy.get(), slot->text.get(), length);
        copy[length] = 0;
      }
    }
  }
  if (failure != nullptr) {
    set_last_error("%s", failure);
    return -1;
  }
  return save_encoded(copy.get(), length, path, encoding);
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
