// Byte-wise search in a decoded text. With folding, only 'A'..'Z' are
// compared as 'a'..'z', on both sides; every other byte, 0x00 and every byte
// from 0x80 up included, compares as itself.
#pragma once

#include <cstdint>

namespace tf::query {

inline constexpr std::uint64_t kNoMatch = UINT64_MAX;

// The first start position p >= from with p + m <= n at which the m pattern
// bytes agree with the text, or kNoMatch. Needs m >= 1. This is the one place
// that decides where matches are; everything else asks it.
std::uint64_t find_next(const unsigned char* text, std::uint64_t n, std::uint64_t from,
                        const unsigned char* pattern, std::uint64_t m, bool fold) noexcept;

// Stores the start offsets of all (possibly overlapping) occurrences, in
// ascending order, into `out` until `capacity` of them are stored; returns how
// many were stored. 0 at once for a null text or pattern, an empty pattern, a
// capacity of 0 or less, or a pattern longer than the text.
int find_matches(const unsigned char* text, std::uint64_t text_length, const unsigned char* pattern,
                 std::uint64_t pattern_length, int fold, std::uint64_t* out, int capacity) noexcept;

}  // namespace tf::query
