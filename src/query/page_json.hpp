// The JSON of a tf_text page, {"text":"...","next_offset":N}, written
// straight from the text: the very bytes a ResultDoc with these two members
// writes (compact, quotes, backslashes and control characters escaped as
// yyjson escapes them, the string checked as well-formed UTF-8), without
// copying the page into a document first.
#pragma once

#include <cstdint>

namespace tf::query {

enum class PageJsonStatus { kOk, kOutOfMemory, kNotUtf8 };

// `text` holds `length` bytes and no 0x00 byte. On kOk `*json` is the
// malloc'ed result (the caller frees it).
PageJsonStatus write_page_json(const unsigned char* text, std::uint64_t length,
                               std::int64_t next_offset, char** json) noexcept;

}  // namespace tf::query
