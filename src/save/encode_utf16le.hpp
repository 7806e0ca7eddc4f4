// The lenient UTF-8 to UTF-16LE conversion of the "utf16le" save: never
// fails except for lack of memory. Continuation bytes are taken by their low
// six bits without checking their form; overlong forms and encoded surrogates
// pass through; a lead byte whose sequence runs past the end, and any byte
// that starts no sequence, becomes one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frame/heap.hpp"
#include "frame/large_block.hpp"

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

// A new block is a large block (huge-page friendly for big texts); growing
// is realloc. A large block reserves twice the size asked for: address space
// only, as pages nobody touches are never backed, but the one enlargement the
// conversion may ask for then stays in place instead of copying the block
// (realloc cannot move a block whose pages are advised apart from the rest of
// its mapping).
inline void* heap_reallocate(void* block, std::size_t size) noexcept {
  if (block != nullptr) return std::realloc(block, size);
  if (size >= kLargeBlockMin && size <= SIZE_MAX / 2) return alloc_large(2 * size).release();
  return alloc_large(size).release();
}

// Converts `length` bytes of `text` into `out`. Returns false when memory
// runs out, at first or on an enlargement; `out` then holds no block.
bool encode_utf16le(const unsigned char* text, std::size_t length, Utf16Output& out,
                    Reallocate reallocate = heap_reallocate) noexcept;

}  // namespace tf::save
