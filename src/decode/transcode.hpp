// The bulk converters behind the decoders. Each writes into a block the
// caller sized with the bound given here and returns the bytes written.
#pragma once

#include <cstdint>

#include "frame/kernels.hpp"

namespace tf::decode {

// Latin-1 (every byte is the code point of the same number) to UTF-8. The
// vector versions store whole vectors, up to 8 bytes past their last output
// byte, but each of those bytes stands for an ASCII input byte that takes
// one output byte of the two the bound allows it, so 2 n is enough.
inline constexpr std::uint64_t latin1_output_bound(std::uint64_t n) noexcept { return 2 * n; }
inline std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                                    unsigned char* out) noexcept {
  return simd::kernels().latin1_to_utf8(in, n, out);
}

// UTF-16LE units (the bytes after the mark) to UTF-8: an unpaired surrogate
// and a final odd byte each become U+FFFD; a high surrogate followed by a
// unit that is not a low one yields U+FFFD and the unit is decoded on its own.
// The vector versions may store up to 16 bytes past their last output byte;
// the bound includes that room.
inline constexpr std::uint64_t utf16le_output_bound(std::uint64_t n) noexcept {
  return (n / 2) * 3 + 3 + 16;
}
using simd::Utf16Conversion;
inline Utf16Conversion utf16le_to_utf8(const unsigned char* in, std::uint64_t n,
                                       unsigned char* out) noexcept {
  return simd::kernels().utf16le_to_utf8(in, n, out);
}

}  // namespace tf::decode
