// Byte-wise search in a decoded text. With folding, only 'A'..'Z' are
// compared as 'a'..'z', on both sides; every other byte, 0x00 and every byte
// from 0x80 up included, compares as itself.
#pragma once

#include <cstdint>
#include <optional>

#include "frame/kernels.hpp"
#include "query/two_way_matcher.hpp"

namespace tf::query {

using simd::VerifyBudget;

// The matches of one pattern in one text, asked for left to right. This is
// the one place that decides where matches are; everything else asks it.
// The scan kernel of the level in force takes the start positions whose
// first and last bytes agree with the pattern's, a vector (or a word) at a
// time, and compares only those in full. Its time stays linear in the text
// whatever the pattern: see VerifyBudget.
class MatchScanner {
 public:
  MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
               std::uint64_t m, bool fold) noexcept;

  // The first start position p >= from with p + m <= n at which the m
  // pattern bytes agree with the text, or kNoMatch (always for m == 0).
  std::uint64_t next(std::uint64_t from) noexcept;

  // Whether verifying has spent its budget and the linear-time matcher has
  // taken over the scan.
  bool handed_over() const noexcept { return linear_.has_value(); }

 private:
  std::uint64_t hand_over(std::uint64_t from) noexcept;

  simd::SearchNeedle needle_;
  std::uint64_t n_;
  VerifyBudget budget_;
  std::optional<TwoWayMatcher> linear_;  // once the budget is spent
};

// Stores the start offsets of all (possibly overlapping) occurrences, in
// ascending order, into `out` until `capacity` of them are stored; returns how
// many were stored. 0 at once for a null text or pattern, an empty pattern, a
// capacity of 0 or less, or a pattern longer than the text.
int find_matches(const unsigned char* text, std::uint64_t text_length, const unsigned char* pattern,
                 std::uint64_t pattern_length, int fold, std::uint64_t* out, int capacity) noexcept;

}  // namespace tf::query
