// The lenient UTF-8 to UTF-16LE conversion of the "utf16le" save: never
// fails except for lack of memory. Continuation bytes are taken by their low
// six bits without checking their form; overlong forms and encoded surrogates
// pass through; a lead byte whose sequence runs past the end, and any byte
// that starts no sequence, becomes one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "frame/heap.hpp"

namespace tf::save {

// The block the conversion writes: FF FE, then the units. Its capacity
// starts at 2 x length + 4 bytes and doubles whenever, before the units of a
// code point are stored, write position + 4 >= capacity.
struct Utf16Output {
  HeapBytes bytes;
  std::size_t size = 0;      // bytes written, mark included
  std::size_t capacity = 0;  // bytes allocated
};

// How the block is obtained and enlarged: realloc semantics (null in = new
// block; null out = failure, the old block untouched).
using Reallocate = void* (*)(void*, std::size_t) noexcept;

inline void* heap_reallocate(void* block, std::size_t size) noexcept {
  return std::realloc(block, size);
}

// Converts `length` bytes of `text` into `out`. Returns false when memory
// runs out, at first or on an enlargement; `out` then holds no block.
bool encode_utf16le(const unsigned char* text, std::size_t length, Utf16Output& out,
                    Reallocate reallocate = heap_reallocate) noexcept;

}  // namespace tf::save
