#include "query/find_matches.hpp"

#include <cstring>

namespace tf::query {
namespace {

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

// Do the m bytes at a and b agree under the folding rule?
bool folded_equal(const unsigned char* a, const unsigned char* b, std::uint64_t m) noexcept {
  for (std::uint64_t k = 0; k < m; ++k) {
    if (fold_byte(a[k]) != fold_byte(b[k])) return false;
  }
  return true;
}

// The first position in [p, end) holding byte c, or end.
std::uint64_t next_byte(const unsigned char* text, std::uint64_t p, std::uint64_t end,
                        unsigned char c) noexcept {
  if (p >= end) return end;
  const void* hit = std::memchr(text + p, c, end - p);
  return hit != nullptr ? static_cast<std::uint64_t>(static_cast<const unsigned char*>(hit) - text)
                        : end;
}

}  // namespace

// Candidates come from memchr on the pattern's first byte (both of its cases
// when folding a letter, each with its own look-ahead), and only candidates
// are compared in full. The hits are exactly those of comparing the pattern
// at every start position.
std::uint64_t find_next(const unsigned char* text, std::uint64_t n, std::uint64_t from,
                        const unsigned char* pattern, std::uint64_t m, bool fold) noexcept {
  if (m == 0 || m > n || from > n - m) return kNoMatch;
  const std::uint64_t end = n - m + 1;  // one past the last start position
  const unsigned char* rest = pattern + 1;
  const std::uint64_t rest_length = m - 1;
  const unsigned char first = fold ? fold_byte(pattern[0]) : pattern[0];

  if (!fold || first < 'a' || first > 'z') {
    // Only the byte itself can match the first pattern byte.
    for (std::uint64_t p = next_byte(text, from, end, first); p < end;
         p = next_byte(text, p + 1, end, first)) {
      const bool same = fold ? folded_equal(text + p + 1, rest, rest_length)
                             : std::memcmp(text + p + 1, rest, rest_length) == 0;
      if (same) return p;
    }
    return kNoMatch;
  }

  const auto upper = static_cast<unsigned char>(first - 0x20);
  std::uint64_t next_lower = next_byte(text, from, end, first);
  std::uint64_t next_upper = next_byte(text, from, end, upper);
  for (;;) {
    const std::uint64_t p = next_lower < next_upper ? next_lower : next_upper;
    if (p >= end) return kNoMatch;
    if (folded_equal(text + p + 1, rest, rest_length)) return p;
    if (p == next_lower) {
      next_lower = next_byte(text, p + 1, end, first);
    } else {
      next_upper = next_byte(text, p + 1, end, upper);
    }
  }
}

int find_matches(const unsigned char* text, std::uint64_t text_length, const unsigned char* pattern,
                 std::uint64_t pattern_length, int fold, std::uint64_t* out,
                 int capacity) noexcept {
  if (text == nullptr || pattern == nullptr || out == nullptr) return 0;
  if (pattern_length == 0 || capacity <= 0 || pattern_length > text_length) return 0;
  int count = 0;
  std::uint64_t from = 0;
  for (;;) {
    const std::uint64_t p = find_next(text, text_length, from, pattern, pattern_length, fold != 0);
    if (p == kNoMatch) break;
    out[count++] = p;
    if (count == capacity) break;
    from = p + 1;  // occurrences may overlap
  }
  return count;
}

}  // namespace tf::query
