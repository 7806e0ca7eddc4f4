#include "save/utf16le_units.hpp"

#include <cstdint>

#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/pack_tables.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using simd::Utf16Units;

constexpr std::uint32_t kReplacement = 0xFFFD;

inline void put_unit(unsigned char*& o, std::uint32_t unit) noexcept {
  o[0] = static_cast<unsigned char>(unit & 0xFF);
  o[1] = static_cast<unsigned char>((unit >> 8) & 0xFF);
  o += 2;
}

// One code point at i (< length); returns the next i.
inline std::size_t code_point(const unsigned char* text, std::size_t length, std::size_t i,
                              unsigned char*& o) noexcept {
  const std::uint32_t b = text[i];
  if (b < 0x80) {
    put_unit(o, b);
    return i + 1;
  }
  if (b >= 0xC0 && b <= 0xDF && i + 1 < length) {
    put_unit(o, ((b & 0x1F) << 6) | (text[i + 1] & 0x3Fu));
    return i + 2;
  }
  if (b >= 0xE0 && b <= 0xEF && i + 2 < length) {
    put_unit(o, ((b & 0x0F) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu));
    return i + 3;
  }
  if (b >= 0xF0 && b <= 0xF7 && i + 3 < length) {
    const std::uint32_t value = ((b & 0x07) << 18) | ((text[i + 1] & 0x3Fu) << 12) |
                                ((text[i + 2] & 0x3Fu) << 6) | (text[i + 3] & 0x3Fu);
    if (value <= 0xFFFF) {
      put_unit(o, value);
    } else if (value > 0x10FFFF) {
      put_unit(o, kReplacement);
    } else {
      put_unit(o, 0xD800 + ((value - 0x10000) >> 10));
      put_unit(o, 0xDC00 + ((value - 0x10000) & 0x3FF));
    }
    return i + 4;
  }
  put_unit(o, kReplacement);
  return i + 1;
}

// Code points from i to the end.
inline Utf16Units finish(const unsigned char* text, std::size_t length, std::size_t i,
                         unsigned char* out, unsigned char* o) noexcept {
  while (i < length) i = code_point(text, length, i, o);
  Utf16Units r;
  r.size = static_cast<std::size_t>(o - out);
  return r;
}

// Eight bytes at p hold no byte above 0x7F.
inline bool ascii8(const unsigned char* p) noexcept { return (swar::load(p) & swar::kHigh) == 0; }

// The portable and 16-byte vector levels: ASCII 16 bytes at a time is
// widened; other stretches go code point by code point.
template <class Ascii16>
__attribute__((always_inline)) inline Utf16Units units_blocks(const unsigned char* text,
                                                              std::size_t length,
                                                              unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  simd::ascii16_walk(text, length, 1, i, o, 32, Ascii16::widen,
                     [&](std::uint64_t at) { return code_point(text, length, at, o); });
  return finish(text, length, i, out, o);
}

}  // namespace

TF_LEVEL_KERNEL(portable, , Utf16Units, utf8_to_utf16le,
                (const unsigned char* text, std::size_t length, unsigned char* out),
                units_blocks<simd::PortableAscii16>(text, length, out))
#if defined(TF_X86_KERNELS)
TF_LEVEL_KERNEL(sse2, , Utf16Units, utf8_to_utf16le,
                (const unsigned char* text, std::size_t length, unsigned char* out),
                units_blocks<simd::Sse2Ascii16>(text, length, out))
#endif
#if defined(TF_WASM_KERNELS)
TF_LEVEL_KERNEL(simd128, , Utf16Units, utf8_to_utf16le,
                (const unsigned char* text, std::size_t length, unsigned char* out),
                units_blocks<simd::Simd128Ascii16>(text, length, out))
#endif

#if defined(TF_X86_KERNELS) || defined(TF_NEON_KERNELS)

namespace {

using simd::kCompress16;

// The masks of 16 bytes at p that decide whether the vector path may take
// them, from the bits of each byte (bit k = byte k).
struct Leads {
  unsigned cont;   // 80-BF
  unsigned lead2;  // C0-EF: at least one continuation follows
  unsigned lead3;  // E0-EF: two follow
  unsigned high;   // F0-FF: the unit-by-unit path
};

// Which bytes past the 16 the last code points reach: the next start.
inline std::size_t next_start(const Leads& l) noexcept {
  const unsigned reach = (l.lead2 << 1) | (l.lead3 << 2);
  return 16 + ((reach >> 16) & 1) + ((reach >> 17) & 1);
}

// Every byte is a start or one of the continuation bytes its lead announces.
inline bool whole_sequences(const Leads& l) noexcept {
  const unsigned expected = ((l.lead2 << 1) | (l.lead3 << 2)) & 0xFFFF;
  return l.high == 0 && expected == l.cont;
}

}  // namespace

#endif

#if defined(TF_X86_KERNELS)

namespace {

TF_TARGET_AVX2 inline Leads leads_of(__m128i v) noexcept {
  const auto b7 = static_cast<unsigned>(_mm_movemask_epi8(v));
  const auto b6 = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi16(v, 1)));
  const auto b5 = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi16(v, 2)));
  const auto b4 = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi16(v, 3)));
  Leads l;
  l.cont = b7 & ~b6;
  l.high = b7 & b6 & b5 & b4;
  l.lead3 = b7 & b6 & b5 & ~b4;
  l.lead2 = (b7 & b6 & ~b5) | l.lead3;
  return l;
}

// The unit each of 16 bytes would give as the start of a code point of one,
// two or three bytes (b1, b2: the bytes one and two places on), in 16-bit
// lanes.
TF_TARGET_AVX2 inline __m256i units_of(__m128i bytes, __m128i next1, __m128i next2) noexcept {
  const __m256i b = _mm256_cvtepu8_epi16(bytes);
  const __m256i b1 = _mm256_and_si256(_mm256_cvtepu8_epi16(next1), _mm256_set1_epi16(0x3F));
  const __m256i b2 = _mm256_and_si256(_mm256_cvtepu8_epi16(next2), _mm256_set1_epi16(0x3F));
  const __m256i two =
      _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b, _mm256_set1_epi16(0x1F)), 6), b1);
  const __m256i three = _mm256_or_si256(
      _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b, _mm256_set1_epi16(0x0F)), 12),
                      _mm256_slli_epi16(b1, 6)),
      b2);
  const __m256i is_two = _mm256_cmpgt_epi16(b, _mm256_set1_epi16(0xBF));
  const __m256i is_three = _mm256_cmpgt_epi16(b, _mm256_set1_epi16(0xDF));
  return _mm256_blendv_epi8(_mm256_blendv_epi8(b, two, is_two), three, is_three);
}

// 16 bytes at text + i (i + 19 <= length). Returns the bytes taken, or 0
// when the unit-by-unit path must take them.
TF_TARGET_AVX2 inline std::size_t block16_avx2(const unsigned char* p, unsigned char*& o) noexcept {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const Leads l = leads_of(v);
  if (!whole_sequences(l)) return 0;
  const __m256i units = units_of(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)));
  const unsigned starts = ~l.cont & 0xFFFF;
  const unsigned m0 = starts & 0xFF;
  const unsigned m1 = starts >> 8;
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(o),
      _mm_shuffle_epi8(_mm256_castsi256_si128(units),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kCompress16.shuffle[m0]))));
  o += kCompress16.length[m0];
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(o),
      _mm_shuffle_epi8(_mm256_extracti128_si256(units, 1),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kCompress16.shuffle[m1]))));
  o += kCompress16.length[m1];
  return next_start(l);
}

}  // namespace

namespace simd::avx2 {

TF_TARGET_AVX2 Utf16Units utf8_to_utf16le(const unsigned char* text, std::size_t length,
                                          unsigned char* out) noexcept {
  unsigned char* o = out;
  std::size_t i = 0;
  while (length - i > 32) {
    simd::prefetch(text + i);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    if (_mm256_movemask_epi8(v) == 0) {
      const __m256i lo = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v));
      const __m256i hi = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), lo);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32), hi);
      o += 64;
      i += 32;
      continue;
    }
    const std::size_t taken = block16_avx2(text + i, o);
    if (taken != 0) {
      i += taken;
      continue;
    }
    const std::size_t end = i + 16;
    while (i < end) i = code_point(text, length, i, o);
  }
  return finish(text, length, i, out, o);
}

}  // namespace simd::avx2

namespace {

TF_TARGET_AVX512 inline std::size_t block16_avx512(const unsigned char* p,
                                                   unsigned char*& o) noexcept {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const Leads l = leads_of(v);
  if (!whole_sequences(l)) return 0;
  const __m256i units = units_of(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)));
  const auto starts = static_cast<__mmask16>(~l.cont & 0xFFFF);
  const __m512i kept = _mm512_maskz_compress_epi32(starts, _mm512_cvtepu16_epi32(units));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm512_cvtepi32_epi16(kept));
  o += 2 * static_cast<std::size_t>(__builtin_popcount(starts));
  return next_start(l);
}

}  // namespace

namespace {

TF_TARGET_AVX512 __attribute__((always_inline)) inline Utf16Units units_avx512(
    const unsigned char* text, std::size_t length, unsigned char* out) noexcept {
  unsigned char* o = out;
  std::size_t i = 0;
  while (length - i > 64) {
    const __m512i v = _mm512_loadu_si512(text + i);
    if (_mm512_movepi8_mask(v) == 0) {
      _mm512_storeu_si512(o, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v)));
      _mm512_storeu_si512(o + 64, _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1)));
      o += 128;
      i += 64;
      continue;
    }
    // Up to four blocks of 16 bytes; each starts where the last code point
    // of the one before ended.
    const std::size_t end = i + 64;
    while (i < end && length - i > 32) {
      std::size_t taken = block16_avx512(text + i, o);
      if (taken != 0) {
        i += taken;
        continue;
      }
      const std::size_t stop = i + 16;
      while (i < stop) i = code_point(text, length, i, o);
    }
  }
  while (length - i > 32) {
    const std::size_t taken = block16_avx512(text + i, o);
    if (taken != 0) {
      i += taken;
      continue;
    }
    const std::size_t stop = i + 16;
    while (i < stop) i = code_point(text, length, i, o);
  }
  return finish(text, length, i, out, o);
}

}  // namespace

TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, Utf16Units, utf8_to_utf16le,
                (const unsigned char* text, std::size_t length, unsigned char* out),
                units_avx512(text, length, out))

namespace {

// The lead bytes of 64 bytes that decide whether the vector path takes them
// (bit k = byte k).
struct Leads64 {
  std::uint64_t cont;   // 80-BF
  std::uint64_t lead2;  // C0-FF: at least one continuation follows
  std::uint64_t lead3;  // E0-FF: two follow
  std::uint64_t lead4;  // F0-F7: three follow
  std::uint64_t bad;    // F8-FF: the unit-by-unit path
};

TF_TARGET_AVX512VBMI2 inline Leads64 leads64(__m512i v) noexcept {
  Leads64 l;
  l.cont = _mm512_cmplt_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC0)));
  l.lead2 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC0)));
  l.lead3 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xE0)));
  l.bad = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xF8)));
  l.lead4 = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xF0))) & ~l.bad;
  return l;
}

// The units of 32 bytes at p in 16-bit lanes, squeezed to the lanes in
// `keep` and stored exactly. Each lane holds the unit its byte gives as the
// start of a code point of one to three bytes (`lead2`, `lead3`) or, for a
// four-byte lead (`lead4`), the high surrogate of the pair and, on the lane
// after it (`lows`), the low one.
TF_TARGET_AVX512VBMI2 inline unsigned char* units_squeeze32(const unsigned char* p, __m256i bytes,
                                                            __mmask32 lead2, __mmask32 lead3,
                                                            __mmask32 lead4, __mmask32 lows,
                                                            __mmask32 keep,
                                                            unsigned char* o) noexcept {
  const __m512i six = _mm512_set1_epi16(0x3F);
  const __m512i b = _mm512_cvtepu8_epi16(bytes);
  const __m512i b1 = _mm512_and_si512(
      _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1))), six);
  const __m512i b2 = _mm512_and_si512(
      _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2))), six);
  // ((b & 0x1F) << 6) | b1 and ((b & 0x0F) << 12) | (b1 << 6) | b2
  const __m512i two =
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(b, 6), _mm512_set1_epi16(0x07C0), b1, 0xEA);
  const __m512i three =
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(b, 12), _mm512_slli_epi16(b1, 6), b2, 0xFE);
  __m512i units = _mm512_mask_mov_epi16(b, lead2, two);
  units = _mm512_mask_mov_epi16(units, lead3, three);
  if ((lead4 | lows) != 0) {
    // The code point's bits 10-20 are (b & 7) << 8 | b1 << 2 | b2 >> 4;
    // the high surrogate is 0xD800 + those - 0x40. The low one takes the
    // last ten bits from the two bytes after its own.
    const __m512i top =
        _mm512_ternarylogic_epi32(_mm512_slli_epi16(_mm512_and_si512(b, _mm512_set1_epi16(7)), 8),
                                  _mm512_slli_epi16(b1, 2), _mm512_srli_epi16(b2, 4), 0xFE);
    const __m512i high = _mm512_add_epi16(top, _mm512_set1_epi16(static_cast<short>(0xD7C0)));
    const __m512i low = _mm512_ternarylogic_epi32(
        _mm512_slli_epi16(_mm512_and_si512(b1, _mm512_set1_epi16(0x0F)), 6), b2,
        _mm512_set1_epi16(static_cast<short>(0xDC00)), 0xFE);
    units = _mm512_mask_mov_epi16(units, lead4, high);
    units = _mm512_mask_mov_epi16(units, lows, low);
  }
  const auto count = static_cast<unsigned>(__builtin_popcount(keep));
  _mm512_mask_storeu_epi16(o, _bzhi_u32(~0u, count), _mm512_maskz_compress_epi16(keep, units));
  return o + 2 * count;
}

// Whether every four-byte lead of the 64 bytes at p stands for a code point
// in U+10000..U+10FFFF (the others take the unit-by-unit path).
TF_TARGET_AVX512VBMI2 inline bool pairs_in_range(const unsigned char* p,
                                                 std::uint64_t lead4) noexcept {
  const __m512i b = _mm512_loadu_si512(p);
  const __m512i b1 = _mm512_loadu_si512(p + 1);
  // Bits 16-20 are (b & 7) << 2 | (b1 & 0x30) >> 4: from 1 to 16.
  const __m512i plane =
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(_mm512_and_si512(b, _mm512_set1_epi8(7)), 2),
                                _mm512_srli_epi16(_mm512_and_si512(b1, _mm512_set1_epi8(0x30)), 4),
                                _mm512_setzero_si512(), 0xFE);
  const __mmask64 out_of_range = _mm512_mask_cmpeq_epu8_mask(lead4, plane, _mm512_setzero_si512()) |
                                 _mm512_mask_cmpgt_epu8_mask(lead4, plane, _mm512_set1_epi8(16));
  return out_of_range == 0;
}

}  // namespace

namespace simd::avx512vbmi2 {

// 64 bytes at a time while more than 66 are left: ASCII widened; 64 bytes
// that hold whole code points (the last may run on past them) without
// F8-FF and without four-byte leads outside the pairs go through
// units_squeeze32 twice; anything else code point by code point for 16
// bytes.
TF_TARGET_AVX512VBMI2 Utf16Units utf8_to_utf16le(const unsigned char* text, std::size_t length,
                                                 unsigned char* out) noexcept {
  unsigned char* o = out;
  std::size_t i = 0;
  while (length - i > 66) {
    const unsigned char* p = text + i;
    const __m512i v = _mm512_loadu_si512(p);
    if (_mm512_movepi8_mask(v) == 0) {
      _mm512_storeu_si512(o, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v)));
      _mm512_storeu_si512(o + 64, _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1)));
      o += 128;
      i += 64;
      continue;
    }
    const Leads64 l = leads64(v);
    const std::uint64_t expected = (l.lead2 << 1) | (l.lead3 << 2) | (l.lead4 << 3);
    if (l.bad != 0 || expected != l.cont || (l.lead4 != 0 && !pairs_in_range(p, l.lead4))) {
      const std::size_t stop = i + 16;
      while (i < stop) i = code_point(text, length, i, o);
      continue;
    }
    // A four-byte lead last has its low surrogate past the lanes: that code
    // point goes alone.
    const std::uint64_t last_pair = l.lead4 & (1ULL << 63);
    const std::uint64_t lows = l.lead4 << 1;
    const std::uint64_t keep = (~l.cont | lows) & ~last_pair;
    o = units_squeeze32(p, _mm512_castsi512_si256(v), static_cast<__mmask32>(l.lead2),
                        static_cast<__mmask32>(l.lead3), static_cast<__mmask32>(l.lead4),
                        static_cast<__mmask32>(lows), static_cast<__mmask32>(keep), o);
    o = units_squeeze32(
        p + 32, _mm512_extracti64x4_epi64(v, 1), static_cast<__mmask32>(l.lead2 >> 32),
        static_cast<__mmask32>(l.lead3 >> 32), static_cast<__mmask32>(l.lead4 >> 32),
        static_cast<__mmask32>(lows >> 32), static_cast<__mmask32>(keep >> 32), o);
    if (last_pair != 0) {
      i = code_point(text, length, i + 63, o);
      continue;
    }
    // The bytes past the 64 that the last code point takes.
    i += 64 + static_cast<std::size_t>(__builtin_popcountll(l.lead2 >> 63) +
                                       __builtin_popcountll(l.lead3 >> 62) +
                                       __builtin_popcountll(l.lead4 >> 61));
  }
  return finish(text, length, i, out, o);
}

}  // namespace simd::avx512vbmi2

#endif  // TF_X86_KERNELS

#if defined(TF_NEON_KERNELS)

namespace {

// The masks of the four 16-byte vectors (bytes 0x00 or 0xFF), 16 bits each
// in order, from one chain of pairwise adds.
inline std::uint64_t masks4(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) noexcept {
  alignas(16) static constexpr std::uint8_t kBits[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                         1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bits = vld1q_u8(kBits);
  const uint8x16_t ab = vpaddq_u8(vandq_u8(a, bits), vandq_u8(b, bits));
  const uint8x16_t cd = vpaddq_u8(vandq_u8(c, bits), vandq_u8(d, bits));
  uint8x16_t sums = vpaddq_u8(ab, cd);
  sums = vpaddq_u8(sums, sums);
  return vgetq_lane_u64(vreinterpretq_u64_u8(sums), 0);
}

// 8 units in 16-bit lanes kept where `mask` says; stores 16 bytes.
inline unsigned char* compress8_neon(uint16x8_t units, unsigned mask, unsigned char* o) noexcept {
  vst1q_u8(o, vqtbl1q_u8(vreinterpretq_u8_u16(units), vld1q_u8(kCompress16.shuffle[mask])));
  return o + kCompress16.length[mask];
}

// The unit of each of 8 bytes as the start of a code point of one, two or
// three bytes (b1, b2: the bytes one and two places on).
inline uint16x8_t units8_neon(uint8x8_t bytes, uint8x8_t next1, uint8x8_t next2) noexcept {
  const uint16x8_t b = vmovl_u8(bytes);
  const uint16x8_t b1 = vmovl_u8(vand_u8(next1, vdup_n_u8(0x3F)));
  const uint16x8_t b2 = vmovl_u8(vand_u8(next2, vdup_n_u8(0x3F)));
  const uint16x8_t two = vorrq_u16(vshlq_n_u16(vandq_u16(b, vdupq_n_u16(0x1F)), 6), b1);
  const uint16x8_t three = vorrq_u16(vorrq_u16(vshlq_n_u16(b, 12), vshlq_n_u16(b1, 6)), b2);
  const uint16x8_t units = vbslq_u16(vcgtq_u16(b, vdupq_n_u16(0xBF)), two, b);
  return vbslq_u16(vcgtq_u16(b, vdupq_n_u16(0xDF)), three, units);
}

// 16 bytes at p (p + 18 readable). Returns the bytes taken, or 0 when the
// unit-by-unit path must take them.
inline std::size_t block16_neon(const unsigned char* p, unsigned char*& o) noexcept {
  const uint8x16_t v = vld1q_u8(p);
  const uint8x16_t cont = vceqq_u8(vandq_u8(v, vdupq_n_u8(0xC0)), vdupq_n_u8(0x80));
  const uint8x16_t lead2 = vandq_u8(vcgeq_u8(v, vdupq_n_u8(0xC0)), vcltq_u8(v, vdupq_n_u8(0xF0)));
  const uint8x16_t lead3 = vandq_u8(vcgeq_u8(v, vdupq_n_u8(0xE0)), vcltq_u8(v, vdupq_n_u8(0xF0)));
  const uint8x16_t high = vcgeq_u8(v, vdupq_n_u8(0xF0));
  const std::uint64_t m = masks4(cont, lead2, lead3, high);
  Leads l;
  l.cont = static_cast<unsigned>(m & 0xFFFF);
  l.lead2 = static_cast<unsigned>((m >> 16) & 0xFFFF);
  l.lead3 = static_cast<unsigned>((m >> 32) & 0xFFFF);
  l.high = static_cast<unsigned>(m >> 48);
  if (!whole_sequences(l)) return 0;
  const uint8x16_t n1 = vld1q_u8(p + 1);
  const uint8x16_t n2 = vld1q_u8(p + 2);
  const unsigned starts = ~l.cont & 0xFFFF;
  o = compress8_neon(units8_neon(vget_low_u8(v), vget_low_u8(n1), vget_low_u8(n2)), starts & 0xFF,
                     o);
  o = compress8_neon(units8_neon(vget_high_u8(v), vget_high_u8(n1), vget_high_u8(n2)), starts >> 8,
                     o);
  return next_start(l);
}

}  // namespace

namespace simd::neon {

// ASCII 32 bytes at a time after one horizontal maximum, widened; 16 bytes
// of whole sequences of one to three bytes through block16_neon; anything
// else code point by code point.
Utf16Units utf8_to_utf16le(const unsigned char* text, std::size_t length,
                           unsigned char* out) noexcept {
  unsigned char* o = out;
  std::size_t i = 0;
  while (length - i > 32) {
    simd::prefetch(text + i);
    const uint8x16_t a = vld1q_u8(text + i);
    const uint8x16_t b = vld1q_u8(text + i + 16);
    if (vmaxvq_u8(vorrq_u8(a, b)) < 0x80) {
      vst1q_u8(o, vreinterpretq_u8_u16(vmovl_u8(vget_low_u8(a))));
      vst1q_u8(o + 16, vreinterpretq_u8_u16(vmovl_u8(vget_high_u8(a))));
      vst1q_u8(o + 32, vreinterpretq_u8_u16(vmovl_u8(vget_low_u8(b))));
      vst1q_u8(o + 48, vreinterpretq_u8_u16(vmovl_u8(vget_high_u8(b))));
      o += 64;
      i += 32;
      continue;
    }
    const std::size_t taken = block16_neon(text + i, o);
    if (taken != 0) {
      i += taken;
      continue;
    }
    const std::size_t stop = i + 16;
    while (i < stop) i = code_point(text, length, i, o);
  }
  return finish(text, length, i, out, o);
}

}  // namespace simd::neon

#endif  // TF_NEON_KERNELS

std::size_t save::utf16le_size(const unsigned char* text, std::size_t length) noexcept {
  std::size_t bytes = 0;
  std::size_t i = 0;
  while (i < length) {
    // ASCII, the bulk of most texts, 32 bytes at a time.
    while (length - i >= 32 && ascii8(text + i) && ascii8(text + i + 8) && ascii8(text + i + 16) &&
           ascii8(text + i + 24)) {
      bytes += 64;
      i += 32;
    }
    if (i == length) break;
    // Anything else goes through the converter's own rule, into a scratch
    // unit pair, so that the count can never disagree with it.
    unsigned char units[4];
    unsigned char* o = units;
    i = code_point(text, length, i, o);
    bytes += static_cast<std::size_t>(o - units);
  }
  return bytes;
}

}  // namespace tf
