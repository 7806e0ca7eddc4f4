#include "query/find_matches.hpp"

#include <cstring>

namespace tf::query {
namespace {

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

}  // namespace

MatchScanner::MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
                           std::uint64_t m, bool fold) noexcept
    : text_(text),
      pattern_(pattern),
      m_(m),
      end_(text != nullptr && pattern != nullptr && m > 0 && m <= n ? n - m + 1 : 0),
      fold_(fold) {
  if (end_ == 0) return;
  first_[0] = fold ? fold_byte(pattern[0]) : pattern[0];
  if (fold && first_[0] >= 'a' && first_[0] <= 'z') {
    first_[1] = static_cast<unsigned char>(first_[0] - 0x20);
    cases_ = 2;
  }
}

// The first position in [p, end_) holding byte c, or end_.
std::uint64_t MatchScanner::next_byte(std::uint64_t p, unsigned char c) const noexcept {
  if (p >= end_) return end_;
  const void* hit = std::memchr(text_ + p, c, static_cast<std::size_t>(end_ - p));
  return hit != nullptr ? static_cast<std::uint64_t>(static_cast<const unsigned char*>(hit) - text_)
                        : end_;
}

// Do the pattern bytes after the first agree with the text at p + 1?
bool MatchScanner::rest_agrees(std::uint64_t p) const noexcept {
  const unsigned char* t = text_ + p + 1;
  const unsigned char* q = pattern_ + 1;
  const std::uint64_t rest = m_ - 1;
  if (!fold_) return std::memcmp(t, q, static_cast<std::size_t>(rest)) == 0;
  for (std::uint64_t k = 0; k < rest; ++k) {
    if (fold_byte(t[k]) != fold_byte(q[k])) return false;
  }
  return true;
}

std::uint64_t MatchScanner::next(std::uint64_t from) noexcept {
  if (from >= end_) return kNoMatch;
  // A look-ahead position found from an earlier `from` is still the next
  // one as long as it is not behind the new `from`.
  if (!primed_ || from < last_from_) {
    for (int k = 0; k < cases_; ++k) ahead_[k] = next_byte(from, first_[k]);
    primed_ = true;
  }
  last_from_ = from;
  for (int k = 0; k < cases_; ++k) {
    if (ahead_[k] < from) ahead_[k] = next_byte(from, first_[k]);
  }
  for (;;) {
    const int k = (cases_ == 2 && ahead_[1] < ahead_[0]) ? 1 : 0;
    const std::uint64_t p = ahead_[k];
    if (p >= end_) return kNoMatch;
    if (rest_agrees(p)) return p;
    ahead_[k] = next_byte(p + 1, first_[k]);
  }
}

int find_matches(const unsigned char* text, std::uint64_t text_length, const unsigned char* pattern,
                 std::uint64_t pattern_length, int fold, std::uint64_t* out,
                 int capacity) noexcept {
  if (text == nullptr || pattern == nullptr || out == nullptr) return 0;
  if (pattern_length == 0 || capacity <= 0 || pattern_length > text_length) return 0;
  MatchScanner scanner(text, text_length, pattern, pattern_length, fold != 0);
  int count = 0;
  std::uint64_t from = 0;
  for (;;) {
    const std::uint64_t p = scanner.next(from);
    if (p == kNoMatch) break;
    out[count++] = p;
    if (count == capacity) break;
    from = p + 1;  // occurrences may overlap
  }
  return count;
}

}  // namespace tf::query
