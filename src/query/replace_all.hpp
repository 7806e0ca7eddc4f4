#pragma once

#include <cstdint>

#include "frame/heap.hpp"

namespace tf::query {

// The text after replacing every match of `find`, left to right: matches
// never overlap and inserted text is never searched again.
struct ReplaceOutput {
  HeapBytes data;              // the first bytes of the output (at most `keep`) plus a 0x00;
                               // null when the buffer could not be allocated or grown
  std::uint64_t length = 0;    // output bytes, without the 0x00, also those not kept
  std::uint64_t capacity = 0;  // size of the buffer behind `data`
  std::uint64_t count = 0;     // replacements made
};

// The buffer starts at n + 64 bytes and, whenever the output plus its 0x00
// would not fit, doubles until it does; it never grows beyond keep + 1
// bytes: output past the first `keep` bytes is only counted, so the memory
// taken is bounded by `keep` whatever the output's length. An empty `find`
// matches nothing (the output is a copy of the text).
ReplaceOutput replace_all(const unsigned char* text, std::uint64_t n, const unsigned char* find,
                          std::uint64_t f, const unsigned char* repl, std::uint64_t r, bool fold,
                          std::uint64_t keep = UINT64_MAX - 1) noexcept;

}  // namespace tf::query
