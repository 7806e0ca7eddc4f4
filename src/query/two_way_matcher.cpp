#include "query/two_way_matcher.hpp"

#include <algorithm>

namespace tf::query {
namespace {

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

}  // namespace

unsigned char TwoWayMatcher::at(std::uint64_t k) const noexcept {
  return fold_ ? fold_byte(pattern_[k]) : pattern_[k];
}

// The lexicographically greatest suffix of the pattern (of the reversed
// byte order when `reversed`), and that suffix's period. `best` is one
// before the suffix found so far; it starts at -1 and wraps as unsigned.
TwoWayMatcher::Suffix TwoWayMatcher::maximal_suffix(bool reversed) const noexcept {
  std::uint64_t best = UINT64_MAX;
  std::uint64_t j = 0;
  std::uint64_t k = 1;
  std::uint64_t period = 1;
  while (j + k < m_) {
    const unsigned char a = at(j + k);
    const unsigned char b = at(best + k);
    if (reversed ? b < a : a < b) {
      j += k;  // the candidate suffix is smaller: all of it is one period
      k = 1;
      period = j - best;
    } else if (a == b) {
      if (k != period) {
        ++k;
      } else {
        j += period;
        k = 1;
      }
    } else {
      best = j++;  // a greater suffix starts here
      k = period = 1;
    }
  }
  return {best + 1, period};
}

TwoWayMatcher::TwoWayMatcher(const unsigned char* pattern, std::uint64_t m, bool fold) noexcept
    : pattern_(pattern), m_(m), fold_(fold) {
  if (pattern == nullptr || m == 0) return;
  // The later of the two maximal suffixes gives a critical factorization.
  const Suffix forward = maximal_suffix(false);
  const Suffix backward = maximal_suffix(true);
  const Suffix critical = forward.start > backward.start ? forward : backward;
  split_ = critical.start;
  // The left half recurring one period on makes the period the pattern's
  // own: shifts are by that period, remembering the bytes known to agree.
  // Otherwise no two occurrences are closer than the longer half plus one.
  periodic_ = true;
  for (std::uint64_t k = 0; k < split_ && periodic_; ++k) {
    periodic_ = at(k) == at(k + critical.period);
  }
  shift_ = periodic_ ? critical.period : std::max(split_, m - split_) + 1;
}

template <bool Fold>
std::uint64_t TwoWayMatcher::scan(const unsigned char* text, std::uint64_t n, std::uint64_t j,
                                  std::uint64_t memory) noexcept {
  const auto t = [text](std::uint64_t i) noexcept { return Fold ? fold_byte(text[i]) : text[i]; };
  const std::uint64_t after_match = periodic_ ? m_ - shift_ : 0;
  while (j <= n - m_) {
    // The right half, left to right: a difference at i rules out every
    // start up to j + i - split_.
    std::uint64_t i = std::max(split_, memory);
    while (i < m_ && at(i) == t(j + i)) ++i;
    if (i < m_) {
      j += i - split_ + 1;
      memory = 0;
      continue;
    }
    // The left half, right to left, down to what is known to agree.
    i = split_;
    while (i > memory && at(i - 1) == t(j + i - 1)) --i;
    if (i <= memory) {
      last_ = j;
      resume_ = j + shift_;
      memory_ = after_match;
      return j;
    }
    j += shift_;
    memory = after_match;
  }
  return kNoMatch;
}

std::uint64_t TwoWayMatcher::next(const unsigned char* text, std::uint64_t n,
                                  std::uint64_t from) noexcept {
  if (text == nullptr || m_ == 0 || m_ > n || from > n - m_) return kNoMatch;
  std::uint64_t j = from;
  std::uint64_t memory = 0;
  // No occurrence lies between the last answer and resume_.
  if (last_ != kNoMatch && from > last_ && from <= resume_) {
    j = resume_;
    memory = memory_;
  }
  return fold_ ? scan<true>(text, n, j, memory) : scan<false>(text, n, j, memory);
}

}  // namespace tf::query
