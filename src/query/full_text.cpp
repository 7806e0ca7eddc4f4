#include "query/full_text.hpp"

#include <cstddef>
#include <cstring>

#include "frame/heap.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"

namespace tf::query {

char* full_text(int handle) {
  return with_handle<char*>(handle, nullptr, [](HandleSlot& slot, PendingError& error) -> char* {
    const std::uint64_t n = slot.text_length;
    if (n > kMaxFullText) {
      error.set(msg::kFullTooLarge, static_cast<std::size_t>(n),
                static_cast<long long>(kMaxFullText));
      return nullptr;
    }
    HeapChars copy = alloc_chars(n + 1);
    if (!copy) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    if (n > 0) std::memcpy(copy.get(), slot.text.get(), n);
    copy[n] = '\0';
    return copy.release();
  });
}

}  // namespace tf::query
