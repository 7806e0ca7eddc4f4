#pragma once

#include <cstdint>

namespace tf::query {

// The one line count: 1 plus the breaks (LF, lone CR, CR LF once) that have at
// least one byte after them; 0 for an absent or empty text.
std::int64_t count_lines(const unsigned char* text, std::uint64_t length) noexcept;

}  // namespace tf::query
