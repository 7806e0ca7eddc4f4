#pragma once

#include <cstdint>

namespace tf::query {

// The number of bytes the character at `i` occupies, judged by its lead byte
// alone: 2, 3 or 4 for a lead byte 0xC0-0xDF, 0xE0-0xEF, 0xF0-0xF7 whose
// sequence fits before `length`, otherwise 1. Needs i < length.
unsigned char_step(const unsigned char* text, std::uint64_t length, std::uint64_t i) noexcept;

// The number of character steps from the start to the end of the text; on
// well-formed UTF-8 this is the number of code points. A sequence cut off by
// the end counts its lead byte and each byte after it as one character each.
// 0 for an absent or empty text.
std::int64_t count_chars(const unsigned char* text, std::uint64_t length) noexcept;

}  // namespace tf::query
