#include "query/find_matches.hpp"

#include <algorithm>
#include <cstring>

#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using query::kNoMatch;
using Needle = simd::SearchNeedle;
using simd::VerifyBudget;

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

constexpr bool is_lower_letter(unsigned char b) noexcept { return b >= 'a' && b <= 'z'; }

// A kernel's answer when verifying has spent its budget: the scan goes on
// from budget->handover with the linear-time matcher.
constexpr std::uint64_t kHandOver = kNoMatch - 1;

// The index of the first of the n bytes at t that differs from q (both
// folded when folding), or n when all agree: a word at a time, folded as a
// word, so that a candidate that fails early costs one load and a test.
inline std::uint64_t first_difference(const unsigned char* t, const unsigned char* q,
                                      std::uint64_t n, bool fold) noexcept {
  std::uint64_t k = 0;
  for (; n - k >= 8; k += 8) {
    const std::uint64_t differ = fold
                                     ? swar::fold(swar::load(t + k)) ^ swar::fold(swar::load(q + k))
                                     : swar::load(t + k) ^ swar::load(q + k);
    if (differ != 0) return k + (static_cast<std::uint64_t>(__builtin_ctzll(differ)) >> 3);
  }
  if (fold) {
    while (k < n && fold_byte(t[k]) == fold_byte(q[k])) ++k;
  } else {
    while (k < n && t[k] == q[k]) ++k;
  }
  return k;
}

// Do the len bytes at t agree with q? Every byte compared is charged to the
// budget, up to and including the first that differs, and so is a
// candidate that fails (see VerifyBudget). Inlined, so the kernels see the
// one store and keep the needle in registers: as a call it slowed the scan
// of a text without candidates by a third.
[[gnu::always_inline]] inline bool agrees(const unsigned char* t, const unsigned char* q,
                                          std::uint64_t len, bool fold,
                                          VerifyBudget& budget) noexcept {
  const std::uint64_t agreed = first_difference(t, q, len, fold);
  budget.work += agreed == len ? len : agreed + 1 + VerifyBudget::kCandidate;
  return agreed == len;
}

// The pattern bytes between the first and the last agree at p.
inline bool middle_agrees(const Needle& nd, std::uint64_t p) noexcept {
  if (nd.m <= 2) return true;
  return agrees(nd.text + p + 1, nd.pattern + 1, nd.m - 2, nd.fold, *nd.budget);
}

// Candidates (first and last byte agree) of the start positions from p, as
// bits (bit k << shift for position p + k); the first whose middle agrees,
// or kNoMatch, or kHandOver once verifying has spent its budget.
inline std::uint64_t first_verified(const Needle& nd, std::uint64_t p, std::uint64_t candidates,
                                    int shift = 0) noexcept {
  while (candidates != 0) {
    const std::uint64_t q = p + (static_cast<std::uint64_t>(__builtin_ctzll(candidates)) >> shift);
    if (middle_agrees(nd, q)) return q;
    if (nd.budget->spent(q, nd.m)) {
      nd.budget->handover = q + 1;
      return kHandOver;
    }
    candidates &= candidates - 1;
  }
  return kNoMatch;
}

// Start positions from p one at a time (the tail after the vectors).
std::uint64_t scan_scalar(const Needle& nd, std::uint64_t p) noexcept {
  for (; p < nd.end; ++p) {
    const unsigned char a = nd.fold ? fold_byte(nd.text[p]) : nd.text[p];
    const unsigned char b = nd.fold ? fold_byte(nd.text[p + nd.m - 1]) : nd.text[p + nd.m - 1];
    if (a == nd.first && b == nd.last) {
      const std::uint64_t hit = first_verified(nd, p, 1);
      if (hit != kNoMatch) return hit;
    }
  }
  return kNoMatch;
}

}  // namespace

namespace simd::portable {

// Eight start positions at a time: a word of first bytes and a word of last
// bytes.
std::uint64_t find_match(const Needle& nd, std::uint64_t p) noexcept {
  const std::uint64_t first = swar::broadcast(nd.first);
  const std::uint64_t last = swar::broadcast(nd.last);
  const std::uint64_t fold_first = swar::broadcast(nd.fold_first ? 0x20 : 0);
  const std::uint64_t fold_last = swar::broadcast(nd.fold_last ? 0x20 : 0);
  const std::uint64_t second = swar::broadcast(nd.second);
  const std::uint64_t penult = swar::broadcast(nd.penult);
  const std::uint64_t fold_second = swar::broadcast(nd.fold_second ? 0x20 : 0);
  const std::uint64_t fold_penult = swar::broadcast(nd.fold_penult ? 0x20 : 0);
  const unsigned char* tail = nd.text + nd.m - 1;
  for (; nd.end - p >= 8; p += 8) {
    const std::uint64_t a = (swar::load(nd.text + p) | fold_first) ^ first;
    const std::uint64_t b = (swar::load(tail + p) | fold_last) ^ last;
    // A byte of a | b is zero exactly where both agree; the cheap test
    // first, the exact mask only for words that hold a candidate.
    if (!swar::any_zero(a | b)) continue;
    std::uint64_t differ = a | b;
    if (nd.m >= 3) {
      differ |= ((swar::load(nd.text + p + 1) | fold_second) ^ second) |
                ((swar::load(tail + p - 1) | fold_penult) ^ penult);
      if (!swar::any_zero(differ)) continue;
    }
    const std::uint64_t hit = first_verified(nd, p, swar::nonzero(differ) ^ swar::kHigh, 3);
    if (hit != kNoMatch) return hit;
  }
  return scan_scalar(nd, p);
}

}  // namespace simd::portable

namespace {

// The vector levels: 64 start positions at a time over the block of each
// level.
template <class Block>
__attribute__((always_inline)) inline std::uint64_t scan_blocks(const Needle& nd,
                                                                std::uint64_t p) noexcept {
  const auto fold_first = static_cast<unsigned char>(nd.fold_first ? 0x20 : 0);
  const auto fold_last = static_cast<unsigned char>(nd.fold_last ? 0x20 : 0);
  const auto fold_second = static_cast<unsigned char>(nd.fold_second ? 0x20 : 0);
  const auto fold_penult = static_cast<unsigned char>(nd.fold_penult ? 0x20 : 0);
  const unsigned char* tail = nd.text + nd.m - 1;
  for (; nd.end - p >= 64; p += 64) {
    simd::prefetch(nd.text + p);
    std::uint64_t candidates =
        Block(nd.text + p).eq(nd.first, fold_first) & Block(tail + p).eq(nd.last, fold_last);
    // Two more bytes only where the first two left candidates: ordinary
    // text rarely gets here, a text of few letters always does.
    if (candidates != 0 && nd.m >= 3) {
      candidates &= Block(nd.text + p + 1).eq(nd.second, fold_second) &
                    Block(tail + p - 1).eq(nd.penult, fold_penult);
    }
    const std::uint64_t hit = first_verified(nd, p, candidates);
    if (hit != kNoMatch) return hit;
  }
  return scan_scalar(nd, p);
}

}  // namespace

TF_BLOCK_KERNELS(std::uint64_t, find_match, (const Needle& nd, std::uint64_t p), scan_blocks,
                 (nd, p))

namespace query {

MatchScanner::MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
                           std::uint64_t m, bool fold) noexcept
    : needle_{text, pattern, m, 0, fold, 0, 0, false, false, nullptr, 0, 0, false, false}, n_(n) {
  if (text == nullptr || pattern == nullptr || m == 0 || m > n) return;
  needle_.end = n - m + 1;
  needle_.first = fold ? fold_byte(pattern[0]) : pattern[0];
  needle_.last = fold ? fold_byte(pattern[m - 1]) : pattern[m - 1];
  needle_.fold_first = fold && is_lower_letter(needle_.first);
  needle_.fold_last = fold && is_lower_letter(needle_.last);
  if (m >= 3) {
    needle_.second = fold ? fold_byte(pattern[1]) : pattern[1];
    needle_.penult = fold ? fold_byte(pattern[m - 2]) : pattern[m - 2];
    needle_.fold_second = fold && is_lower_letter(needle_.second);
    needle_.fold_penult = fold && is_lower_letter(needle_.penult);
  }
}

// The rest of the scan, from `from` on, is the linear-time matcher's.
std::uint64_t MatchScanner::hand_over(std::uint64_t from) noexcept {
  if (!linear_) linear_.emplace(needle_.pattern, needle_.m, needle_.fold);
  return linear_->next(needle_.text, n_, from);
}

// The scan kernel takes 64 start positions at a time (8 in the portable
// version) whose first and last bytes both agree, each then compared in
// full, until verifying has spent its budget.
std::uint64_t MatchScanner::next(std::uint64_t from) noexcept {
  if (from >= needle_.end) return kNoMatch;
  if (linear_ || budget_.spent(from, needle_.m)) return hand_over(from);
  needle_.budget = &budget_;
  const std::uint64_t p = simd::kernels().find_match(needle_, from);
  return p != kHandOver ? p : hand_over(budget_.handover);
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

}  // namespace query
}  // namespace tf
