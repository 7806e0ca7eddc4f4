// The conversion loop of the "utf16le" save, apart from the block it writes
// into.
#pragma once

#include <cstddef>

#include "frame/kernels.hpp"

namespace tf::save {

using simd::Utf16Units;

// The bytes of UTF-16LE units that `length` bytes of text convert to: what
// utf8_to_utf16le writes, counted without writing.
std::size_t utf16le_size(const unsigned char* text, std::size_t length) noexcept;

// Writes the UTF-16LE units of `length` bytes of text to `out`, which has
// room for utf16le_size() bytes plus kStoreSlack (the vector versions may
// store lanes past the end that they then discard). The rules
// are those of encode_utf16le: a lead byte decides how many bytes a code
// point takes, continuation bytes are taken by their low six bits unchecked,
// a lead whose sequence runs past the end and any other byte is U+FFFD.
//
// The vector versions widen ASCII a vector at a time and, for 16 bytes whose
// lead bytes are each followed by exactly their continuation bytes and hold
// no four-byte lead, compute every unit at once and keep the ones that start
// a code point; anything else goes code point by code point. The
// avx512vbmi2 version does the same for 64 bytes at a time and takes
// four-byte sequences too (a pair's two units on two lanes) when they stand
// for U+10000..U+10FFFF.
inline Utf16Units utf8_to_utf16le(const unsigned char* text, std::size_t length,
                                  unsigned char* out) noexcept {
  return simd::kernels().utf8_to_utf16le(text, length, out);
}

}  // namespace tf::save
