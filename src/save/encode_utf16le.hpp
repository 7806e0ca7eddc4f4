// The lenient UTF-8 to UTF-16LE conversion of the "utf16le" save: never
// fails except for lack of memory. Continuation bytes are taken by their low
// six bits without checking their form; overlong forms and encoded surrogates
// pass through; a lead byte whose sequence runs past the end, and any byte
// that starts no sequence, becomes one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/heap.hpp"
#include "frame/large_block.hpp"

namespace tf::save {

// Bytes past the end of the output that the vector versions of the
// conversion may overwrite with lanes they then discard.
inline constexpr std::size_t kStoreSlack = 32;

// The block the conversion writes: FF FE, then the units. It is allocated
// once, at the size the output needs (counted before converting) plus
// kStoreSlack, and never grows.
struct Utf16Output {
  HeapBytes bytes;
  std::size_t size = 0;      // bytes written, mark included
  std::size_t capacity = 0;  // bytes allocated: size + kStoreSlack
};

// How the block is obtained: null when memory runs out.
using Allocate = void* (*)(std::size_t) noexcept;

// A large block (huge-page friendly for big texts), else a malloc block.
inline void* heap_allocate(std::size_t size) noexcept { return alloc_large(size).release(); }

// Converts `length` bytes of `text` into `out`. Returns false when the block
// cannot be had; `out` then holds no block. A length whose output could not
// exist is refused before any byte of the text is read.
bool encode_utf16le(const unsigned char* text, std::size_t length, Utf16Output& out,
                    Allocate allocate = heap_allocate) noexcept;

}  // namespace tf::save
