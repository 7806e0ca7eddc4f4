#include "decode/line_breaks.hpp"

#include "decode/decode.hpp"
#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using simd::LineBreakCounts;

// The tail (or all) of a text from position i, one byte at a time; the pair
// test looks back at p[i - 1] when i > 0.
void count_scalar(const unsigned char* p, std::uint64_t i, std::uint64_t n,
                  LineBreakCounts& c) noexcept {
  for (; i < n; ++i) {
    if (p[i] == '\n') {
      ++c.lf;
      if (i > 0 && p[i - 1] == '\r') ++c.crlf;
    } else if (p[i] == '\r') {
      ++c.cr;
    }
  }
}

std::uint64_t start_scalar(const unsigned char* p, std::uint64_t n) noexcept {
  while (n > 0 && p[n - 1] != '\n' && p[n - 1] != '\r') --n;
  return n;
}

// One 64-byte block given its LF and CR bit masks; `carry` is 1 when the
// byte before the block is a CR.
__attribute__((always_inline)) inline void count_masks(std::uint64_t lf, std::uint64_t cr,
                                                       std::uint64_t& carry,
                                                       LineBreakCounts& c) noexcept {
  c.lf += static_cast<std::uint64_t>(__builtin_popcountll(lf));
  c.cr += static_cast<std::uint64_t>(__builtin_popcountll(cr));
  c.crlf += static_cast<std::uint64_t>(__builtin_popcountll(lf & ((cr << 1) | carry)));
  carry = cr >> 63;
}

}  // namespace

namespace simd::portable {

// Eight bytes at a time.
LineBreakCounts count_line_breaks(const unsigned char* p, std::uint64_t n) noexcept {
  LineBreakCounts c;
  std::uint64_t carry = 0;  // 0x80 when the byte before the word is a CR
  std::uint64_t i = 0;
  for (; n - i >= 8; i += 8) {
    const std::uint64_t w = swar::load(p + i);
    const std::uint64_t lf = swar::eq(w, '\n');
    const std::uint64_t cr = swar::eq(w, '\r');
    c.lf += swar::count(lf);
    c.cr += swar::count(cr);
    c.crlf += swar::count(lf & ((cr << 8) | carry));
    carry = cr >> 56;
  }
  count_scalar(p, i, n, c);
  return c;
}

std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  std::uint64_t end = n;
  for (; end >= 8; end -= 8) {
    const std::uint64_t w = swar::load(p + end - 8);
    const std::uint64_t m = swar::eq(w, '\n') | swar::eq(w, '\r');
    if (m != 0) return end - 8 + swar::last(m) + 1;
  }
  return start_scalar(p, end);
}

}  // namespace simd::portable

#if defined(TF_X86_KERNELS)

namespace simd::sse2 {

LineBreakCounts count_line_breaks(const unsigned char* p, std::uint64_t n) noexcept {
  LineBreakCounts c;
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  std::uint64_t carry = 0;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(p + i);
    std::uint64_t mlf = 0, mcr = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
      mlf |= static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
             << (16 * k);
      mcr |= static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))))
             << (16 * k);
    }
    count_masks(mlf, mcr, carry, c);
  }
  count_scalar(p, i, n, c);
  return c;
}

}  // namespace simd::sse2

namespace {

// Bit k set where byte k of the 64 bytes lo:hi equals `byte`.
TF_TARGET_AVX2 inline std::uint64_t eq_mask_avx2(__m256i lo, __m256i hi, __m256i byte) noexcept {
  const auto low = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, byte)));
  const auto high = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, byte)));
  return static_cast<std::uint64_t>(low) | (static_cast<std::uint64_t>(high) << 32);
}

}  // namespace

namespace simd::avx2 {

TF_TARGET_AVX2 LineBreakCounts count_line_breaks(const unsigned char* p, std::uint64_t n) noexcept {
  LineBreakCounts c;
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  std::uint64_t carry = 0;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(p + i);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
    count_masks(eq_mask_avx2(a, b, lf), eq_mask_avx2(a, b, cr), carry, c);
  }
  count_scalar(p, i, n, c);
  return c;
}

}  // namespace simd::avx2

namespace simd::avx512 {

TF_TARGET_AVX512 LineBreakCounts count_line_breaks(const unsigned char* p,
                                                   std::uint64_t n) noexcept {
  LineBreakCounts c;
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i cr = _mm512_set1_epi8('\r');
  std::uint64_t carry = 0;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(p + i);
    const __m512i v = _mm512_loadu_si512(p + i);
    count_masks(_mm512_cmpeq_epi8_mask(v, lf), _mm512_cmpeq_epi8_mask(v, cr), carry, c);
  }
  count_scalar(p, i, n, c);
  return c;
}

}  // namespace simd::avx512

// Backwards, a vector at a time: the highest CR or LF.
namespace simd::sse2 {

std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  std::uint64_t end = n;
  for (; end >= 16; end -= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end - 16));
    const auto m = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
    if (m != 0) return end - 16 + static_cast<std::uint64_t>(32 - __builtin_clz(m));
  }
  return start_scalar(p, end);
}

}  // namespace simd::sse2

namespace simd::avx2 {

TF_TARGET_AVX2 std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  std::uint64_t end = n;
  for (; end >= 64; end -= 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + end - 64));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + end - 32));
    const std::uint64_t m = eq_mask_avx2(a, b, lf) | eq_mask_avx2(a, b, cr);
    if (m != 0) return end - 64 + static_cast<std::uint64_t>(64 - __builtin_clzll(m));
  }
  return start_scalar(p, end);
}

}  // namespace simd::avx2

namespace simd::avx512 {

TF_TARGET_AVX512 std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i cr = _mm512_set1_epi8('\r');
  std::uint64_t end = n;
  for (; end >= 64; end -= 64) {
    const __m512i v = _mm512_loadu_si512(p + end - 64);
    const std::uint64_t m = _mm512_cmpeq_epi8_mask(v, lf) | _mm512_cmpeq_epi8_mask(v, cr);
    if (m != 0) return end - 64 + static_cast<std::uint64_t>(64 - __builtin_clzll(m));
  }
  return start_scalar(p, end);
}

}  // namespace simd::avx512

#endif  // TF_X86_KERNELS

namespace decode {

std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  return simd::kernels().line_start_before(p, n);
}

LineBreakCounts count_line_breaks(const unsigned char* p, std::uint64_t n) noexcept {
  return simd::kernels().count_line_breaks(p, n);
}

int classify_line_breaks(const LineBreakCounts& counts) noexcept {
  const std::uint64_t lone_lf = counts.lf - counts.crlf;
  const std::uint64_t lone_cr = counts.cr - counts.crlf;
  const int kinds = (lone_lf != 0) + (lone_cr != 0) + (counts.crlf != 0);
  if (kinds >= 2) return kMixed;
  if (counts.crlf != 0) return kCrlf;
  if (lone_cr != 0) return kCr;
  return kLf;
}

}  // namespace decode
}  // namespace tf
