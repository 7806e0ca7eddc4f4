#include "query/measure_text.hpp"

#include <cstring>

#include "decode/line_breaks.hpp"
#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"
#include "query/count_chars.hpp"

namespace tf {
namespace {

using query::char_step;
using simd::LineBreakCounts;
using simd::TextMeasures;

// The characters step by step, for texts whose lead and continuation bytes
// do not match up.
std::int64_t chars_scalar(const unsigned char* text, std::uint64_t length) noexcept {
  std::int64_t chars = 0;
  for (std::uint64_t i = 0; i < length; i += char_step(text, length, i)) ++chars;
  return chars;
}

}  // namespace

namespace simd::portable {

// Eight bytes at a time, with the masks of the vector versions kept as the
// high bit of each byte (swar.hpp); ASCII words skip the lead and
// continuation bytes.
TextMeasures measure_text(const unsigned char* text, std::uint64_t n) noexcept {
  LineBreakCounts breaks;
  std::uint64_t words = 0, noncont = 0, mismatch = 0;
  std::uint64_t carry_cr = 0, carry_word = 0, carry_expect = 0;
  unsigned char last[8] = {};
  for (std::uint64_t i = 0; i <= n; i += 8) {
    // The last word is padded with 0x00 bytes, as the vector versions pad
    // their last block; it is taken even when empty, so that a sequence cut
    // off by the end shows up as a mismatch.
    const bool padded = n - i < 8;
    if (padded && n != i) std::memcpy(last, text + i, n - i);
    const std::uint64_t w = swar::load(padded ? last : text + i);
    const std::uint64_t lf = swar::eq(w, '\n');
    const std::uint64_t cr = swar::eq(w, '\r');
    const std::uint64_t high = w & swar::kHigh;
    const std::uint64_t word = high | swar::ascii_in(w, '0', '9') |
                               swar::ascii_in(w | swar::broadcast(0x20), 'a', 'z') |
                               swar::eq(w, '_');
    breaks.lf += swar::count(lf);
    breaks.cr += swar::count(cr);
    breaks.crlf += swar::count(lf & ((cr << 8) | carry_cr));
    words += swar::count(word & ~((word << 8) | carry_word));
    carry_cr = cr >> 56;
    carry_word = word >> 56;
    if (high == 0 && carry_expect == 0) {
      noncont += 8;
    } else {
      const std::uint64_t b6 = (w << 1) & swar::kHigh;
      const std::uint64_t b5 = (w << 2) & swar::kHigh;
      const std::uint64_t b4 = (w << 3) & swar::kHigh;
      const std::uint64_t b3 = (w << 4) & swar::kHigh;
      const std::uint64_t cont = high & ~b6;
      const std::uint64_t lead4 = high & b6 & b5 & b4 & ~b3;
      const std::uint64_t lead3 = (high & b6 & b5 & ~b4) | lead4;
      const std::uint64_t lead2 = (high & b6 & ~b5) | lead3;
      noncont += 8 - swar::count(cont);
      mismatch |= ((lead2 << 8) | (lead3 << 16) | (lead4 << 24) | carry_expect) ^ cont;
      carry_expect = (lead2 >> 56) | (lead3 >> 48) | (lead4 >> 40);
    }
    if (padded) noncont -= 8 - (n - i);
  }
  TextMeasures m;
  m.lines = decode::lines_from_breaks(breaks, text, n);
  m.words = static_cast<std::int64_t>(words);
  m.chars = mismatch == 0 ? static_cast<std::int64_t>(noncont) : chars_scalar(text, n);
  return m;
}

}  // namespace simd::portable

namespace {

// The masks of one 64-byte block (bit k = byte k).
struct BlockMasks {
  std::uint64_t lf, cr, word, cont, lead2, lead3,
      lead4;  // lead2: C0-F7, lead3: E0-F7, lead4: F0-F7
};

// Running counts over consecutive blocks; the carries hold what the bytes
// just before a block announce for it.
struct Counter {
  std::uint64_t lf = 0, cr = 0, crlf = 0, words = 0, noncont = 0;
  std::uint64_t mismatch = 0;
  std::uint64_t carry_cr = 0, carry_word = 0, carry_expect = 0;

  __attribute__((always_inline)) void add(const BlockMasks& m) noexcept {
    lf += static_cast<std::uint64_t>(__builtin_popcountll(m.lf));
    cr += static_cast<std::uint64_t>(__builtin_popcountll(m.cr));
    crlf += static_cast<std::uint64_t>(__builtin_popcountll(m.lf & ((m.cr << 1) | carry_cr)));
    words +=
        static_cast<std::uint64_t>(__builtin_popcountll(m.word & ~((m.word << 1) | carry_word)));
    noncont += static_cast<std::uint64_t>(64 - __builtin_popcountll(m.cont));
    // The continuation bytes the leads announce: one after C0-F7, two after
    // E0-F7, three after F0-F7.
    const std::uint64_t expect = (m.lead2 << 1) | (m.lead3 << 2) | (m.lead4 << 3) | carry_expect;
    mismatch |= expect ^ m.cont;
    carry_cr = m.cr >> 63;
    carry_word = m.word >> 63;
    carry_expect = (m.lead2 >> 63) | (m.lead3 >> 62) | (m.lead4 >> 61);
  }
};

// The last partial block, padded with 0x00 bytes: they are no word bytes,
// no line breaks and no continuation bytes, so only the non-continuation
// count needs correcting (by the caller), and a sequence cut off by the end
// shows up as a mismatch.
struct Tail {
  alignas(64) unsigned char bytes[64] = {};
  Tail(const unsigned char* p, std::uint64_t n) noexcept {
    if (n != 0) std::memcpy(bytes, p, n);
  }
};

TextMeasures finish(const Counter& c, const unsigned char* text, std::uint64_t length) noexcept {
  TextMeasures m;
  LineBreakCounts breaks;
  breaks.lf = c.lf;
  breaks.cr = c.cr;
  breaks.crlf = c.crlf;
  m.lines = decode::lines_from_breaks(breaks, text, length);
  m.words = static_cast<std::int64_t>(c.words);
  m.chars = c.mismatch == 0 ? static_cast<std::int64_t>(c.noncont) : chars_scalar(text, length);
  return m;
}

// The vector levels: 64 bytes at a time, classified by the level's
// `classify`.
template <BlockMasks (*classify)(const unsigned char*)>
__attribute__((always_inline)) inline TextMeasures measure_blocks(const unsigned char* text,
                                                                  std::uint64_t n) noexcept {
  Counter c;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(text + i);
    c.add(classify(text + i));
  }
  const Tail tail(text + i, n - i);
  c.add(classify(tail.bytes));
  c.noncont -= 64 - (n - i);
  return finish(c, text, n);
}

}  // namespace

#define TF_MEASURE_KERNEL(level, target, classify)           \
  TF_LEVEL_KERNEL(level, target, TextMeasures, measure_text, \
                  (const unsigned char* text, std::uint64_t n), measure_blocks<classify>(text, n))

#if defined(TF_X86_KERNELS) || defined(TF_NEON_KERNELS) || defined(TF_WASM_KERNELS)

namespace {

// 0x80-0xFF, '0'-'9', 'A'-'Z', 'a'-'z', '_' by nibble lookups: a byte is a
// word byte when the class bits of its high and low nibble meet.
// bit 0: digits (3_ with _0-_9); bit 1: letters at 4_/6_ with _1-_F;
// bit 2: letters at 5_/7_ with _0-_A; bit 3: '_' (5F); bit 4: 8_-F_.
alignas(16) constexpr unsigned char kWordHigh[16] = {0,  0,  0,  1,  2,  4 | 8, 2,  4,
                                                     16, 16, 16, 16, 16, 16,    16, 16};
alignas(16) constexpr unsigned char kWordLow[16] = {
    1 | 4 | 16,     1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 1 | 2 | 4 | 16,
    1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 1 | 2 | 4 | 16, 2 | 4 | 16,     2 | 16,
    2 | 16,         2 | 16,         2 | 16,         2 | 8 | 16};

}  // namespace

#endif

#if defined(TF_NEON_KERNELS)

namespace {

BlockMasks classify_neon(const unsigned char* p) noexcept {
  const uint8x16_t high_table = vld1q_u8(kWordHigh);
  const uint8x16_t low_table = vld1q_u8(kWordLow);
  uint8x16_t lf[4], cr[4], word[4], cont[4], lead2[4], lead3[4], lead4[4];
  for (int k = 0; k < 4; ++k) {
    const uint8x16_t v = vld1q_u8(p + 16 * k);
    const uint8x16_t f8 = vcgeq_u8(v, vdupq_n_u8(0xF8));
    lf[k] = vceqq_u8(v, vdupq_n_u8('\n'));
    cr[k] = vceqq_u8(v, vdupq_n_u8('\r'));
    word[k] = vtstq_u8(vqtbl1q_u8(high_table, vshrq_n_u8(v, 4)),
                       vqtbl1q_u8(low_table, vandq_u8(v, vdupq_n_u8(0x0F))));
    cont[k] = vceqq_u8(vandq_u8(v, vdupq_n_u8(0xC0)), vdupq_n_u8(0x80));
    lead2[k] = vbicq_u8(vcgeq_u8(v, vdupq_n_u8(0xC0)), f8);
    lead3[k] = vbicq_u8(vcgeq_u8(v, vdupq_n_u8(0xE0)), f8);
    lead4[k] = vbicq_u8(vcgeq_u8(v, vdupq_n_u8(0xF0)), f8);
  }
  BlockMasks m;
  m.lf = simd::NeonBlock::mask(lf);
  m.cr = simd::NeonBlock::mask(cr);
  m.word = simd::NeonBlock::mask(word);
  m.cont = simd::NeonBlock::mask(cont);
  m.lead2 = simd::NeonBlock::mask(lead2);
  m.lead3 = simd::NeonBlock::mask(lead3);
  m.lead4 = simd::NeonBlock::mask(lead4);
  return m;
}

}  // namespace

TF_MEASURE_KERNEL(neon, , classify_neon)

#endif  // TF_NEON_KERNELS

#if defined(TF_WASM_KERNELS)

namespace {

// An ASCII block (the common case) has no continuation or lead bytes: only
// its line breaks and word bytes are looked at.
BlockMasks classify_simd128(const unsigned char* p) noexcept {
  const v128_t high_table = wasm_v128_load(kWordHigh);
  const v128_t low_table = wasm_v128_load(kWordLow);
  v128_t v[4], lf[4], cr[4], word[4];
  for (int k = 0; k < 4; ++k) {
    v[k] = wasm_v128_load(p + 16 * k);
    lf[k] = wasm_i8x16_eq(v[k], wasm_u8x16_splat('\n'));
    cr[k] = wasm_i8x16_eq(v[k], wasm_u8x16_splat('\r'));
    const v128_t classes =
        wasm_v128_and(wasm_i8x16_swizzle(high_table, wasm_u8x16_shr(v[k], 4)),
                      wasm_i8x16_swizzle(low_table, wasm_v128_and(v[k], wasm_u8x16_splat(0x0F))));
    word[k] = wasm_i8x16_ne(classes, wasm_i8x16_splat(0));
  }
  BlockMasks m{};
  m.lf = simd::Simd128Block::mask(lf);
  m.cr = simd::Simd128Block::mask(cr);
  m.word = simd::Simd128Block::mask(word);
  if (wasm_i8x16_bitmask(wasm_v128_or(wasm_v128_or(v[0], v[1]), wasm_v128_or(v[2], v[3]))) == 0) {
    return m;
  }
  v128_t cont[4], lead2[4], lead3[4], lead4[4];
  for (int k = 0; k < 4; ++k) {
    const v128_t below_f8 = wasm_u8x16_lt(v[k], wasm_u8x16_splat(0xF8));
    cont[k] = wasm_i8x16_eq(wasm_v128_and(v[k], wasm_u8x16_splat(0xC0)), wasm_u8x16_splat(0x80));
    lead2[k] = wasm_v128_and(wasm_u8x16_ge(v[k], wasm_u8x16_splat(0xC0)), below_f8);
    lead3[k] = wasm_v128_and(wasm_u8x16_ge(v[k], wasm_u8x16_splat(0xE0)), below_f8);
    lead4[k] = wasm_v128_and(wasm_u8x16_ge(v[k], wasm_u8x16_splat(0xF0)), below_f8);
  }
  m.cont = simd::Simd128Block::mask(cont);
  m.lead2 = simd::Simd128Block::mask(lead2);
  m.lead3 = simd::Simd128Block::mask(lead3);
  m.lead4 = simd::Simd128Block::mask(lead4);
  return m;
}

}  // namespace

TF_MEASURE_KERNEL(simd128, , classify_simd128)

#endif  // TF_WASM_KERNELS

#if defined(TF_X86_KERNELS)

namespace {

inline std::uint64_t bits16(int movemask, int k) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned>(movemask) & 0xFFFF) << (16 * k);
}

BlockMasks classify_sse2(const unsigned char* p) noexcept {
  BlockMasks m{};
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    m.lf |= bits16(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))), k);
    m.cr |= bits16(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))), k);
    // Unsigned range tests as min(x, limit) == x.
    const __m128i digit = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i word =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit),
                                  _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(25)), letter)),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
    const std::uint64_t b7 = bits16(_mm_movemask_epi8(v), k);
    const std::uint64_t b6 = bits16(_mm_movemask_epi8(_mm_slli_epi16(v, 1)), k);
    const std::uint64_t b5 = bits16(_mm_movemask_epi8(_mm_slli_epi16(v, 2)), k);
    const std::uint64_t b4 = bits16(_mm_movemask_epi8(_mm_slli_epi16(v, 3)), k);
    const std::uint64_t b3 = bits16(_mm_movemask_epi8(_mm_slli_epi16(v, 4)), k);
    m.word |= bits16(_mm_movemask_epi8(word), k) | b7;
    m.cont |= b7 & ~b6;
    const std::uint64_t f0_f7 = b7 & b6 & b5 & b4 & ~b3;
    m.lead4 |= f0_f7;
    m.lead3 |= (b7 & b6 & b5 & ~b4) | f0_f7;
    m.lead2 |= (b7 & b6 & ~b5) | (b7 & b6 & b5 & ~b4) | f0_f7;
  }
  return m;
}

}  // namespace

TF_MEASURE_KERNEL(sse2, , classify_sse2)

namespace {

TF_TARGET_AVX2 inline std::uint64_t mask64_avx2(__m256i lo, __m256i hi) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(lo))) |
         (static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(hi))) << 32);
}

TF_TARGET_AVX2 inline __m256i nonword_avx2(__m256i v, __m256i high_table, __m256i low_table,
                                           __m256i nibble) noexcept {
  const __m256i hi =
      _mm256_shuffle_epi8(high_table, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
  const __m256i lo = _mm256_shuffle_epi8(low_table, _mm256_and_si256(v, nibble));
  return _mm256_cmpeq_epi8(_mm256_and_si256(hi, lo), _mm256_setzero_si256());
}

TF_TARGET_AVX2 inline BlockMasks classify_avx2(const unsigned char* p) noexcept {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i high_table =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kWordHigh)));
  const __m256i low_table =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kWordLow)));
  BlockMasks m;
  m.lf = mask64_avx2(_mm256_cmpeq_epi8(a, lf), _mm256_cmpeq_epi8(b, lf));
  m.cr = mask64_avx2(_mm256_cmpeq_epi8(a, cr), _mm256_cmpeq_epi8(b, cr));
  m.word = ~mask64_avx2(nonword_avx2(a, high_table, low_table, nibble),
                        nonword_avx2(b, high_table, low_table, nibble));
  const std::uint64_t b7 = mask64_avx2(a, b);
  const std::uint64_t b6 = mask64_avx2(_mm256_slli_epi16(a, 1), _mm256_slli_epi16(b, 1));
  const std::uint64_t b5 = mask64_avx2(_mm256_slli_epi16(a, 2), _mm256_slli_epi16(b, 2));
  const std::uint64_t b4 = mask64_avx2(_mm256_slli_epi16(a, 3), _mm256_slli_epi16(b, 3));
  const std::uint64_t b3 = mask64_avx2(_mm256_slli_epi16(a, 4), _mm256_slli_epi16(b, 4));
  m.cont = b7 & ~b6;
  m.lead4 = b7 & b6 & b5 & b4 & ~b3;
  m.lead3 = (b7 & b6 & b5 & ~b4) | m.lead4;
  m.lead2 = (b7 & b6 & ~b5) | m.lead3;
  return m;
}

}  // namespace

TF_MEASURE_KERNEL(avx2, TF_TARGET_AVX2, classify_avx2)

namespace {

TF_TARGET_AVX512 inline BlockMasks classify_avx512(const unsigned char* p) noexcept {
  const __m512i v = _mm512_loadu_si512(p);
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  const __m512i high_table =
      _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(kWordHigh)));
  const __m512i low_table =
      _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(kWordLow)));
  const __m512i hi =
      _mm512_shuffle_epi8(high_table, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
  const __m512i lo = _mm512_shuffle_epi8(low_table, _mm512_and_si512(v, nibble));
  BlockMasks m;
  m.lf = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
  m.cr = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r'));
  m.word = _mm512_test_epi8_mask(hi, lo);
  m.cont = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(0xC0))),
                                  _mm512_set1_epi8(static_cast<char>(0x80)));
  const std::uint64_t f8 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xF8)));
  m.lead2 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC0))) & ~f8;
  m.lead3 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xE0))) & ~f8;
  m.lead4 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xF0))) & ~f8;
  return m;
}

}  // namespace

TF_MEASURE_KERNEL(avx512, TF_TARGET_AVX512, classify_avx512)
TF_MEASURE_KERNEL(avx512vbmi2, TF_TARGET_AVX512VBMI2, classify_avx512)

#endif  // TF_X86_KERNELS

}  // namespace tf
