#include "query/page_text.hpp"

#include <cstring>

#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "query/page_json.hpp"

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
    // "text" stops at the page's first 0x00 byte.
    const unsigned char* bytes = slot.text.get() + page.offset;
    const void* zero = page.length == 0 ? nullptr : std::memchr(bytes, 0, page.length);
    const std::uint64_t shown =
        zero == nullptr
            ? page.length
            : static_cast<std::uint64_t>(static_cast<const unsigned char*>(zero) - bytes);
    char* json = nullptr;
    switch (write_page_json(bytes, shown, static_cast<std::int64_t>(page.offset + page.length),
                            &json)) {
      case PageJsonStatus::kOk:
        break;
      case PageJsonStatus::kOutOfMemory:
        error.set("%s", msg::kOutOfMemory);
        break;
      case PageJsonStatus::kNotUtf8:
        error.set("%s", msg::kSerializeFailed);
        break;
    }
    return json;
  });
}

}  // namespace tf::query
