// Matching in time linear in the text whatever the pattern: the Two-Way
// algorithm of Crochemore and Perrin. The search's candidate filter is
// faster on ordinary text, but a periodic pattern in periodic text makes
// each of its candidates agree deep into the pattern; this matcher takes
// over then. It compares at most about 2n bytes for n bytes scanned (plus
// O(m) to prepare the pattern), needs no memory beyond a few positions and
// reports every occurrence, overlapping ones included. With folding, 'A'..'Z'
// compare as 'a'..'z' on both sides, as everywhere in the search.
#pragma once

#include <cstdint>

namespace tf::query {

inline constexpr std::uint64_t kNoMatch = UINT64_MAX;

class TwoWayMatcher {
 public:
  // `pattern` (m >= 1 bytes) must outlive the matcher.
  TwoWayMatcher(const unsigned char* pattern, std::uint64_t m, bool fold) noexcept;

  // The first start position p >= from with p + m <= n where the pattern
  // occurs in `text`, or kNoMatch. Asked again from a position after the
  // last answer, it resumes where that answer left the scan instead of
  // starting over, so a left-to-right walk over all occurrences stays linear.
  std::uint64_t next(const unsigned char* text, std::uint64_t n, std::uint64_t from) noexcept;

 private:
  struct Suffix {
    std::uint64_t start;
    std::uint64_t period;
  };
  Suffix maximal_suffix(bool reversed) const noexcept;
  unsigned char at(std::uint64_t k) const noexcept;
  template <bool Fold>
  std::uint64_t scan(const unsigned char* text, std::uint64_t n, std::uint64_t j,
                     std::uint64_t memory) noexcept;

  const unsigned char* pattern_;
  std::uint64_t m_;
  bool fold_;
  std::uint64_t split_ = 0;        // the right half of the critical factorization starts here
  std::uint64_t shift_ = 1;        // the shift after the right half agreed
  bool periodic_ = false;          // the pattern has period shift_: keep what agreed
  std::uint64_t last_ = kNoMatch;  // the last answer
  std::uint64_t resume_ = 0;       // where the scan went on after it
  std::uint64_t memory_ = 0;       // pattern bytes known to agree at resume_
};

}  // namespace tf::query
