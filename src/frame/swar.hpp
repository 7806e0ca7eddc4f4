// Eight bytes in a 64-bit word: the arithmetic of the portable kernels.
// A byte mask marks a byte by setting its high bit (0x80 at the byte's
// place); byte 0 is the byte at the lowest address.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace tf::swar {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
inline constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

inline std::uint64_t load(const unsigned char* p) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w;
}

inline void store(unsigned char* p, std::uint64_t w) noexcept {
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  std::memcpy(p, &w, 8);
}

constexpr std::uint64_t broadcast(unsigned char b) noexcept { return kOnes * b; }

// The bytes that are not 0x00, exactly (no carry crosses a byte).
constexpr std::uint64_t nonzero(std::uint64_t x) noexcept {
  return (((x & kLow7) + kLow7) | x) & kHigh;
}

// Whether any byte is 0x00: exact as a whole, though the mask it computes
// may also mark bytes above a zero byte.
constexpr bool any_zero(std::uint64_t x) noexcept { return ((x - kOnes) & ~x & kHigh) != 0; }

// The bytes equal to b.
constexpr std::uint64_t eq(std::uint64_t w, unsigned char b) noexcept {
  return nonzero(w ^ broadcast(b)) ^ kHigh;
}

// The bytes below 0x80 that lie in [lo, hi] (0 < lo <= hi < 0x80).
constexpr std::uint64_t ascii_in(std::uint64_t w, unsigned char lo, unsigned char hi) noexcept {
  const std::uint64_t y = w & kLow7;
  const std::uint64_t at_least_lo = y + broadcast(static_cast<unsigned char>(0x80 - lo));
  const std::uint64_t above_hi = y + broadcast(static_cast<unsigned char>(0x7F - hi));
  return at_least_lo & ~above_hi & ~w & kHigh;
}

// 'A'..'Z' as 'a'..'z', every other byte as itself.
constexpr std::uint64_t fold(std::uint64_t w) noexcept { return w | (ascii_in(w, 'A', 'Z') >> 2); }

// The number of marked bytes (popcount without the instruction, which the
// portable build cannot assume).
constexpr unsigned count(std::uint64_t mask) noexcept {
  return static_cast<unsigned>(((mask >> 7) * kOnes) >> 56);
}

// The place of the first and of the last marked byte (mask != 0).
inline unsigned first(std::uint64_t mask) noexcept {
  return static_cast<unsigned>(__builtin_ctzll(mask)) >> 3;
}
inline unsigned last(std::uint64_t mask) noexcept {
  return static_cast<unsigned>(63 - __builtin_clzll(mask)) >> 3;
}

}  // namespace tf::swar
