#include "query/find_matches.hpp"

#include <algorithm>
#include <cstring>

#include "frame/simd_level.hpp"
#include "frame/simd_target.hpp"

namespace tf::query {
namespace {

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

constexpr bool is_lower_letter(unsigned char b) noexcept { return b >= 'a' && b <= 'z'; }

// A kernel's answer when verifying has spent its budget: the scan goes on
// from budget->handover with the linear-time matcher.
constexpr std::uint64_t kHandOver = kNoMatch - 1;

bool same_bytes(const unsigned char* t, const unsigned char* q, std::uint64_t len,
                bool fold) noexcept {
  if (!fold) return std::memcmp(t, q, static_cast<std::size_t>(len)) == 0;
  for (std::uint64_t k = 0; k < len; ++k) {
    if (fold_byte(t[k]) != fold_byte(q[k])) return false;
  }
  return true;
}

// Do the len bytes at t agree with q? Compared a piece at a time; the pieces
// that agreed before the answer was known are charged to `work`. Inlined,
// so the kernels see the one store and keep the needle in registers: as a
// call it slowed the scan of a text without candidates by a third.
[[gnu::always_inline]] inline bool agrees(const unsigned char* t, const unsigned char* q,
                                          std::uint64_t len, bool fold,
                                          VerifyBudget& budget) noexcept {
  std::uint64_t k = 0;
  while (k < len) {
    const std::uint64_t piece = std::min(len - k, VerifyBudget::kPiece);
    if (!same_bytes(t + k, q + k, piece, fold)) break;
    k += piece;
  }
  budget.work += k;
  return k == len;
}

// What the vector scans look for: the pattern's first and last byte (folded
// when folding). A folded letter is found by setting bit 0x20 of each text
// byte: b | 0x20 equals a lower-case letter exactly when b is that letter in
// either case, so no other byte is folded.
struct Needle {
  const unsigned char* text;
  const unsigned char* pattern;
  std::uint64_t m;
  std::uint64_t end;  // one past the last start position
  bool fold;
  unsigned char first, last;
  bool fold_first, fold_last;
  VerifyBudget* budget;
};

Needle make_needle(const unsigned char* text, const unsigned char* pattern, std::uint64_t m,
                   std::uint64_t end, bool fold, VerifyBudget* budget) noexcept {
  Needle nd{text, pattern, m, end, fold, 0, 0, false, false, budget};
  nd.first = fold ? fold_byte(pattern[0]) : pattern[0];
  nd.last = fold ? fold_byte(pattern[m - 1]) : pattern[m - 1];
  nd.fold_first = fold && is_lower_letter(nd.first);
  nd.fold_last = fold && is_lower_letter(nd.last);
  return nd;
}

// The pattern bytes between the first and the last agree at p.
inline bool middle_agrees(const Needle& nd, std::uint64_t p) noexcept {
  if (nd.m <= 2) return true;
  return agrees(nd.text + p + 1, nd.pattern + 1, nd.m - 2, nd.fold, *nd.budget);
}

// Candidates (first and last byte agree) of the 64 start positions at p,
// as bits; the first whose middle agrees, or kNoMatch, or kHandOver once
// verifying has spent its budget.
inline std::uint64_t first_verified(const Needle& nd, std::uint64_t p,
                                    std::uint64_t candidates) noexcept {
  while (candidates != 0) {
    const std::uint64_t q = p + static_cast<std::uint64_t>(__builtin_ctzll(candidates));
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

#if defined(TF_X86_KERNELS)

inline std::uint64_t mask16(__m128i eq, int k) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(eq))) << (16 * k);
}

std::uint64_t scan_sse2(const Needle& nd, std::uint64_t p) noexcept {
  const __m128i first = _mm_set1_epi8(static_cast<char>(nd.first));
  const __m128i last = _mm_set1_epi8(static_cast<char>(nd.last));
  const __m128i fold_first = _mm_set1_epi8(nd.fold_first ? 0x20 : 0);
  const __m128i fold_last = _mm_set1_epi8(nd.fold_last ? 0x20 : 0);
  const unsigned char* tail = nd.text + nd.m - 1;
  for (; nd.end - p >= 64; p += 64) {
    simd::prefetch(nd.text + p);
    std::uint64_t candidates = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i a = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(nd.text + p + 16 * k)), fold_first);
      const __m128i b = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail + p + 16 * k)), fold_last);
      candidates |= mask16(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last)), k);
    }
    const std::uint64_t hit = first_verified(nd, p, candidates);
    if (hit != kNoMatch) return hit;
  }
  return scan_scalar(nd, p);
}

TF_TARGET_AVX2 std::uint64_t scan_avx2(const Needle& nd, std::uint64_t p) noexcept {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(nd.first));
  const __m256i last = _mm256_set1_epi8(static_cast<char>(nd.last));
  const __m256i fold_first = _mm256_set1_epi8(nd.fold_first ? 0x20 : 0);
  const __m256i fold_last = _mm256_set1_epi8(nd.fold_last ? 0x20 : 0);
  const unsigned char* tail = nd.text + nd.m - 1;
  for (; nd.end - p >= 64; p += 64) {
    simd::prefetch(nd.text + p);
    std::uint64_t candidates = 0;
    for (int k = 0; k < 2; ++k) {
      const __m256i a = _mm256_or_si256(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nd.text + p + 32 * k)), fold_first);
      const __m256i b = _mm256_or_si256(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tail + p + 32 * k)), fold_last);
      const __m256i eq = _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last));
      candidates |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(eq)))
                    << (32 * k);
    }
    const std::uint64_t hit = first_verified(nd, p, candidates);
    if (hit != kNoMatch) return hit;
  }
  return scan_scalar(nd, p);
}

TF_TARGET_AVX512 std::uint64_t scan_avx512(const Needle& nd, std::uint64_t p) noexcept {
  const __m512i first = _mm512_set1_epi8(static_cast<char>(nd.first));
  const __m512i last = _mm512_set1_epi8(static_cast<char>(nd.last));
  const __m512i fold_first = _mm512_set1_epi8(nd.fold_first ? 0x20 : 0);
  const __m512i fold_last = _mm512_set1_epi8(nd.fold_last ? 0x20 : 0);
  const unsigned char* tail = nd.text + nd.m - 1;
  while (p < nd.end) {
    simd::prefetch(nd.text + p);
    // The last vector only loads the bytes of start positions before end:
    // masked-out bytes are never read.
    const std::uint64_t left = nd.end - p;
    const __mmask64 live = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
    const __m512i a = _mm512_or_si512(_mm512_maskz_loadu_epi8(live, nd.text + p), fold_first);
    const __m512i b = _mm512_or_si512(_mm512_maskz_loadu_epi8(live, tail + p), fold_last);
    const std::uint64_t candidates =
        _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, first) & live, b, last);
    const std::uint64_t hit = first_verified(nd, p, candidates);
    if (hit != kNoMatch) return hit;
    p += 64;
  }
  return kNoMatch;
}

#endif  // TF_X86_KERNELS

// The first match at or after p with a vector scan, or kNoMatch.
std::uint64_t scan(const Needle& nd, std::uint64_t p) noexcept {
#if defined(TF_X86_KERNELS)
  switch (simd::active_level()) {
    case simd::Level::kAvx512bw:
      return scan_avx512(nd, p);
    case simd::Level::kAvx2:
      return scan_avx2(nd, p);
    case simd::Level::kSse2:
      return scan_sse2(nd, p);
    case simd::Level::kScalar:
      break;
  }
#endif
  return scan_scalar(nd, p);
}

}  // namespace

MatchScanner::MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
                           std::uint64_t m, bool fold) noexcept
    : text_(text),
      pattern_(pattern),
      n_(n),
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
bool MatchScanner::rest_agrees(std::uint64_t p) noexcept {
  return agrees(text_ + p + 1, pattern_ + 1, m_ - 1, fold_, budget_);
}

// The rest of the scan, from `from` on, is the linear-time matcher's.
std::uint64_t MatchScanner::hand_over(std::uint64_t from) noexcept {
  if (!linear_) linear_.emplace(pattern_, m_, fold_);
  return linear_->next(text_, n_, from);
}

std::uint64_t MatchScanner::next(std::uint64_t from) noexcept {
  if (from >= end_) return kNoMatch;
  if (linear_ || budget_.spent(from, m_)) return hand_over(from);
  // Above the scalar level: 64 start positions at a time whose first and
  // last bytes both agree, each then compared in full.
  if (simd::active_level() != simd::Level::kScalar) {
    const std::uint64_t p = scan(make_needle(text_, pattern_, m_, end_, fold_, &budget_), from);
    return p != kHandOver ? p : hand_over(budget_.handover);
  }
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
    if (budget_.spent(p, m_)) return hand_over(p + 1);
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
