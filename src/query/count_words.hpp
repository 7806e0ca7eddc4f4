#pragma once

#include <cstdint>

namespace tf::query {

// The number of maximal runs of word bytes; 0 for an absent text. Word
// bytes: 'A'-'Z', 'a'-'z', '0'-'9', '_' and every byte from 0x80 up, so each
// byte of a non-ASCII character belongs to a word. Everything else
// (controls, 0x00, 0x7F, space, ASCII punctuation) separates words.
std::int64_t count_words(const unsigned char* text, std::uint64_t length) noexcept;

}  // namespace tf::query
