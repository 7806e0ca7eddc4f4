#include "query/full_text.hpp"

#include <cstddef>
#include <cstring>

#include "frame/heap.hpp"
#include "frame/large_block.hpp"
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
    // A large copy is huge-page friendly; the caller frees it like any other.
    HeapBytes copy = alloc_large(n + 1);
    if (!copy) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    if (n > 0) std::memcpy(copy.get(), slot.text.get(), n);
    copy[n] = 0;
    return reinterpret_cast<char*>(copy.release());
  });
}

}  // namespace tf::query
