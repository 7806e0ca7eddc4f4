#include "query/find_matches.hpp"

#include <cstring>

#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using query::kNoMatch;
using Needle = simd::SearchNeedle;

constexpr unsigned char fold_byte(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

constexpr bool is_lower_letter(unsigned char b) noexcept { return b >= 'a' && b <= 'z'; }

// The pattern bytes between the first and the last agree at p.
inline bool middle_agrees(const Needle& nd, std::uint64_t p) noexcept {
  if (nd.m <= 2) return true;
  const unsigned char* t = nd.text + p + 1;
  const unsigned char* q = nd.pattern + 1;
  const std::uint64_t k_end = nd.m - 2;
  if (!nd.fold) return std::memcmp(t, q, static_cast<std::size_t>(k_end)) == 0;
  for (std::uint64_t k = 0; k < k_end; ++k) {
    if (fold_byte(t[k]) != fold_byte(q[k])) return false;
  }
  return true;
}

// Candidates (first and last byte agree) of the 64 start positions at p,
// as bits; the first whose middle agrees, or kNoMatch.
inline std::uint64_t first_verified(const Needle& nd, std::uint64_t p,
                                    std::uint64_t candidates) noexcept {
  while (candidates != 0) {
    const std::uint64_t q = p + static_cast<std::uint64_t>(__builtin_ctzll(candidates));
    if (middle_agrees(nd, q)) return q;
    candidates &= candidates - 1;
  }
  return kNoMatch;
}

// Start positions from p one at a time (the tail after the vectors).
std::uint64_t scan_scalar(const Needle& nd, std::uint64_t p) noexcept {
  for (; p < nd.end; ++p) {
    const unsigned char a = nd.fold ? fold_byte(nd.text[p]) : nd.text[p];
    const unsigned char b = nd.fold ? fold_byte(nd.text[p + nd.m - 1]) : nd.text[p + nd.m - 1];
    if (a == nd.first && b == nd.last && middle_agrees(nd, p)) return p;
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
  const unsigned char* tail = nd.text + nd.m - 1;
  for (; nd.end - p >= 8; p += 8) {
    const std::uint64_t a = (swar::load(nd.text + p) | fold_first) ^ first;
    const std::uint64_t b = (swar::load(tail + p) | fold_last) ^ last;
    // A byte of a | b is zero exactly where both agree.
    std::uint64_t candidates = swar::nonzero(a | b) ^ swar::kHigh;
    while (candidates != 0) {
      const std::uint64_t q = p + swar::first(candidates);
      if (middle_agrees(nd, q)) return q;
      candidates &= candidates - 1;
    }
  }
  return scan_scalar(nd, p);
}

}  // namespace simd::portable

#if defined(TF_X86_KERNELS)

namespace {

inline std::uint64_t mask16(__m128i eq, int k) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(eq))) << (16 * k);
}

}  // namespace

namespace simd::sse2 {

std::uint64_t find_match(const Needle& nd, std::uint64_t p) noexcept {
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

}  // namespace simd::sse2

namespace simd::avx2 {

TF_TARGET_AVX2 std::uint64_t find_match(const Needle& nd, std::uint64_t p) noexcept {
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

}  // namespace simd::avx2

namespace simd::avx512 {

TF_TARGET_AVX512 std::uint64_t find_match(const Needle& nd, std::uint64_t p) noexcept {
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

}  // namespace simd::avx512

#endif  // TF_X86_KERNELS

namespace query {

MatchScanner::MatchScanner(const unsigned char* text, std::uint64_t n, const unsigned char* pattern,
                           std::uint64_t m, bool fold) noexcept
    : needle_{text, pattern, m, 0, fold, 0, 0, false, false} {
  if (text == nullptr || pattern == nullptr || m == 0 || m > n) return;
  needle_.end = n - m + 1;
  needle_.first = fold ? fold_byte(pattern[0]) : pattern[0];
  needle_.last = fold ? fold_byte(pattern[m - 1]) : pattern[m - 1];
  needle_.fold_first = fold && is_lower_letter(needle_.first);
  needle_.fold_last = fold && is_lower_letter(needle_.last);
}

// 64 start positions at a time (8 in the portable version) whose first and
// last bytes both agree, each then compared in full.
std::uint64_t MatchScanner::next(std::uint64_t from) noexcept {
  if (from >= needle_.end) return kNoMatch;
  return simd::kernels().find_match(needle_, from);
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
