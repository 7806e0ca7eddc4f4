// The one notion of a well-formed UTF-8 sequence shared by detection and
// decoding: the byte sequences of Unicode's "Well-Formed UTF-8 Byte
// Sequences" table (RFC 3629), with every byte inside the input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/kernels.hpp"

namespace tf::decode {

// Length (1..4) of the well-formed sequence starting at p, or 0 when none
// starts there. `available` is the number of readable bytes from p (>= 1).
inline int utf8_sequence_length(const unsigned char* p, std::uint64_t available) noexcept {
  const unsigned b0 = p[0];
  if (b0 < 0x80) return 1;
  if (b0 < 0xC2) return 0;  // stray continuation byte, or overlong C0/C1
  if (b0 < 0xE0) {
    return (available >= 2 && (p[1] & 0xC0) == 0x80) ? 2 : 0;
  }
  if (b0 < 0xF0) {
    if (available < 3) return 0;
    const unsigned b1 = p[1];
    const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;  // E0 80..9F is overlong
    const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;  // ED A0..BF is a surrogate
    if (b1 < lo || b1 > hi) return 0;
    return (p[2] & 0xC0) == 0x80 ? 3 : 0;
  }
  if (b0 < 0xF5) {
    if (available < 4) return 0;
    const unsigned b1 = p[1];
    const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;  // F0 80..8F is overlong
    const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;  // F4 90.. is above U+10FFFF
    if (b1 < lo || b1 > hi) return 0;
    return ((p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80) ? 4 : 0;
  }
  return 0;
}

// Length of the longest prefix of [p, p + n) that is made of well-formed
// sequences only. Runs of ASCII are skipped eight bytes at a time.
inline std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  return simd::kernels().utf8_valid_prefix(p, n);
}

// The code point of a well-formed sequence of `length` bytes at p.
inline std::uint32_t utf8_decode_sequence(const unsigned char* p, int length) noexcept {
  switch (length) {
    case 1:
      return p[0];
    case 2:
      return (std::uint32_t{p[0] & 0x1Fu} << 6) | (p[1] & 0x3Fu);
    case 3:
      return (std::uint32_t{p[0] & 0x0Fu} << 12) | (std::uint32_t{p[1] & 0x3Fu} << 6) |
             (p[2] & 0x3Fu);
    default:
      return (std::uint32_t{p[0] & 0x07u} << 18) | (std::uint32_t{p[1] & 0x3Fu} << 12) |
             (std::uint32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
  }
}

}  // namespace tf::decode
