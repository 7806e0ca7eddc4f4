#pragma once

#include <cstdint>

namespace tf::query {

// A byte range of the text: [offset, offset + length).
struct PageRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// The page tf_text returns: a negative offset becomes 0 and one past the end
// becomes the end; a negative max_bytes becomes 0; the page stops at the end
// of the text. Byte positions are used exactly, even inside a character.
PageRange select_page(std::uint64_t text_length, std::int64_t offset,
                      std::int32_t max_bytes) noexcept;

// tf_text: one page as {"text":...,"next_offset":...}. "text" stops at the
// first 0x00 of the page; "next_offset" is the end of the whole page.
char* page_text(int handle, std::int64_t offset, std::int32_t max_bytes);

}  // namespace tf::query
