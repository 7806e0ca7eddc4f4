#include "query/page_text.hpp"

#include <cstring>

#include "frame/heap.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "frame/result_doc.hpp"

namespace tf::query {

PageRange select_page(std::uint64_t text_length, std::int64_t offset,
                      std::int32_t max_bytes) noexcept {
  PageRange page;
  page.offset = offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
  if (page.offset > text_length) page.offset = text_length;
  const std::uint64_t wanted = max_bytes < 0 ? 0 : static_cast<std::uint64_t>(max_bytes);
  const std::uint64_t left = text_length - page.offset;
  page.length = wanted > left ? left : wanted;
  return page;
}

char* page_text(int handle, std::int64_t offset, std::int32_t max_bytes) {
  return with_handle<char*>(handle, nullptr, [&](HandleSlot& slot, PendingError& error) -> char* {
    const PageRange page = select_page(slot.text_length, offset, max_bytes);
    // The page on its own, terminated: the "text" member is copied from it
    // up to its first 0x00 byte.
    HeapChars buffer = alloc_chars(page.length + 1);
    if (!buffer) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    if (page.length > 0) std::memcpy(buffer.get(), slot.text.get() + page.offset, page.length);
    buffer[page.length] = '\0';

    ResultDoc doc;
    if (!doc.created()) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    // A page the document has no room for must not come back as a result
    // without its text while next_offset moves on past it.
    if (!doc.add_string("text", buffer.get()) && doc.has_root()) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    doc.add_int("next_offset", static_cast<std::int64_t>(page.offset + page.length));
    buffer.reset();
    char* json = doc.write();
    if (json == nullptr) error.set("%s", msg::kSerializeFailed);
    return json;
  });
}

}  // namespace tf::query
