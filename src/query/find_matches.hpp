// Byte-wise search in a decoded text. With folding, only 'A'..'Z' are
// compared as 'a'..'z', on both sides; every other byte, 0x00 and every byte
// from 0x80 up included, compares as itself.
#pragma once

#include <cstdint>
#include <optional>

#include "query/two_way_matcher.hpp"

namespace tf::query {

// What verifying candidates has cost so far: the pattern bytes that agreed
// in whole pieces before each candidate was decided (a candidate that
// differs early costs nothing). Once that outgrows the text scanned, the
// candidates keep agreeing deep into the pattern (periodic text and
// pattern) and the scan hands over to the linear-time matcher, whose answers
// are the same.
struct VerifyBudget {
  static constexpr std::uint64_t kPiece = 64;
  static constexpr std::uint64_t kSlack = 1024;
  std::uint64_t work = 0;
  std::uint64_t handover = 0;  // where the linear-time matcher goes on

  bool spent(std::uint64_t position, std::uint64_t m) const noexcept {
    return work > position + m + kSlack;
  }
};

// The matches of one pattern in one text, asked for left to right. This is
// the one place that decides where matches are; everything else asks it.
// Candidates come from memchr on the pattern's first byte (on both of its
// cases when folding a letter), and only candidates are compared in full.
// The look-ahead position of each first byte is kept between calls, so a
// whole left-to-right scan reads the text for first bytes about once. Its
// time stays linear in the text whatever the pattern: see VerifyBudget.
class MatchScanner {
 public:
  MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
               std::uint64_t m, bool fold) noexcept;

  // The first start position p >= from with p + m <= n at which the m
  // pattern bytes agree with the text, or kNoMatch (always for m == 0).
  // Fastest when `from` never decreases from one call to the next.
  std::uint64_t next(std::uint64_t from) noexcept;

 private:
  bool rest_agrees(std::uint64_t p) noexcept;
  std::uint64_t next_byte(std::uint64_t p, unsigned char c) const noexcept;
  std::uint64_t hand_over(std::uint64_t from) noexcept;

  const unsigned char* text_;
  const unsigned char* pattern_;
  std::uint64_t n_;
  std::uint64_t m_;
  std::uint64_t end_;  // one past the last start position; 0 when none
  bool fold_;
  int cases_ = 1;                // 2 when folding a letter as first byte
  unsigned char first_[2] = {};  // the byte(s) a match can start with
  std::uint64_t ahead_[2] = {};  // next position of first_[k], or end_
  std::uint64_t last_from_ = 0;
  bool primed_ = false;
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
