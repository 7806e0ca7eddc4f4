// UTF-16LE to UTF-8. Vectors of 16 units are classified: all ASCII (narrowed
// and stored), all below U+0800 (widened to one or two bytes per 16-bit lane
// and squeezed with kPack2), otherwise one to three bytes per 32-bit lane,
// squeezed with kPack3, a surrogate pair counting as two lanes of two bytes.
// A vector with an unpaired surrogate, or a pair across its edge, goes
// through the unit-by-unit path, which does every replacement; a pair that
// straddles two vectors is taken whole there.
#include "decode/transcode.hpp"
#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/pack_tables.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using simd::kPack2;
using simd::kPack3;
using simd::kSpread4;
using simd::Utf16Conversion;

// One unit (or one surrogate pair) at byte i, i + 1 < n; returns the next i.
inline std::uint64_t utf16_step(const unsigned char* in, std::uint64_t n, std::uint64_t i,
                                unsigned char*& o, bool& replaced) noexcept {
  const std::uint32_t u = in[i] | (std::uint32_t{in[i + 1]} << 8);
  if (u < 0x80) {
    *o++ = static_cast<unsigned char>(u);
    return i + 2;
  }
  if (u < 0x800) {
    o[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
    o[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    o += 2;
    return i + 2;
  }
  std::uint32_t cp = u;
  if (u >= 0xD800 && u <= 0xDFFF) {
    if (u <= 0xDBFF && i + 3 < n) {
      const std::uint32_t v = in[i + 2] | (std::uint32_t{in[i + 3]} << 8);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
        o[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        o[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        o += 4;
        return i + 4;
      }
    }
    replaced = true;
    cp = 0xFFFD;
  }
  o[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
  o[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  o[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  o += 3;
  return i + 2;
}

// Units from i to the end, then U+FFFD for a final odd byte.
inline void utf16_tail(const unsigned char* in, std::uint64_t n, std::uint64_t i, unsigned char*& o,
                       bool& replaced) noexcept {
  while (i + 1 < n) i = utf16_step(in, n, i, o, replaced);
  if (i < n) {
    replaced = true;
    o[0] = 0xEF;
    o[1] = 0xBF;
    o[2] = 0xBD;
    o += 3;
  }
}

// The portable and 16-byte vector levels: eight ASCII units at a time are
// narrowed; other stretches go unit by unit.
template <class Ascii16>
__attribute__((always_inline)) inline Utf16Conversion utf16_blocks(const unsigned char* in,
                                                                   std::uint64_t n,
                                                                   unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  std::uint64_t i = 0;
  simd::ascii16_walk(in, n, 0, i, o, 8, Ascii16::narrow,
                     [&](std::uint64_t at) { return utf16_step(in, n, at, o, r.replaced); });
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace

TF_LEVEL_KERNEL(portable, , Utf16Conversion, utf16le_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                utf16_blocks<simd::PortableAscii16>(in, n, out))
#if defined(TF_X86_KERNELS)
TF_LEVEL_KERNEL(sse2, , Utf16Conversion, utf16le_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                utf16_blocks<simd::Sse2Ascii16>(in, n, out))
#endif
#if defined(TF_WASM_KERNELS)

namespace {

// 8 units below U+0800 (`mask`: which are above 0x7F): one or two bytes
// each, squeezed with kPack2; stores 16 bytes. The NEON version's steps.
inline unsigned char* utf16_two8_simd128(v128_t v, v128_t high, unsigned mask,
                                         unsigned char* o) noexcept {
  const v128_t lead = wasm_v128_or(wasm_u16x8_shr(v, 6), wasm_i16x8_splat(0xC0));
  const v128_t cont = wasm_i16x8_shl(
      wasm_v128_or(wasm_v128_and(v, wasm_i16x8_splat(0x3F)), wasm_i16x8_splat(0x80)), 8);
  const v128_t lanes = wasm_v128_bitselect(wasm_v128_or(lead, cont), v, high);
  wasm_v128_store(o, wasm_i8x16_swizzle(lanes, wasm_v128_load(kPack2.shuffle[mask])));
  return o + kPack2.length[mask];
}

// 4 units without surrogates in 32-bit lanes: one to three bytes each,
// squeezed with kPack3; stores 16 bytes.
inline unsigned char* utf16_three4_simd128(v128_t x, unsigned char* o) noexcept {
  const v128_t six = wasm_i32x4_splat(0x3F);
  const v128_t cont = wasm_i32x4_splat(0x80);
  const v128_t last = wasm_v128_or(wasm_v128_and(x, six), cont);
  const v128_t middle = wasm_v128_or(wasm_v128_and(wasm_u32x4_shr(x, 6), six), cont);
  const v128_t two = wasm_v128_or(wasm_v128_or(wasm_u32x4_shr(x, 6), wasm_i32x4_splat(0xC0)),
                                  wasm_i32x4_shl(last, 8));
  const v128_t three =
      wasm_v128_or(wasm_v128_or(wasm_u32x4_shr(x, 12), wasm_i32x4_splat(0xE0)),
                   wasm_v128_or(wasm_i32x4_shl(middle, 8), wasm_i32x4_shl(last, 16)));
  const v128_t ge80 = wasm_u32x4_gt(x, wasm_i32x4_splat(0x7F));
  const v128_t ge800 = wasm_u32x4_gt(x, wasm_i32x4_splat(0x7FF));
  v128_t lanes = wasm_v128_bitselect(two, x, ge80);
  lanes = wasm_v128_bitselect(three, lanes, ge800);
  const unsigned index = kSpread4[wasm_i32x4_bitmask(ge80)] + kSpread4[wasm_i32x4_bitmask(ge800)];
  wasm_v128_store(o, wasm_i8x16_swizzle(lanes, wasm_v128_load(kPack3.shuffle[index])));
  return o + kPack3.length[index];
}

}  // namespace

namespace simd::simd128 {

// 16 units at a time, as the NEON version: all ASCII narrowed, all below
// U+0800 in 16-bit lanes, without surrogates in 32-bit lanes; 16 units
// with a surrogate go unit by unit, which does every replacement.
Utf16Conversion utf16le_to_utf8(const unsigned char* in, std::uint64_t n,
                                unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  std::uint64_t i = 0;
  while (n - i >= 32) {
    const v128_t a = wasm_v128_load(in + i);
    const v128_t b = wasm_v128_load(in + i + 16);
    const v128_t both = wasm_v128_or(a, b);
    if (!wasm_v128_any_true(wasm_v128_and(both, wasm_i16x8_splat(static_cast<short>(0xFF80))))) {
      wasm_v128_store(o, wasm_u8x16_narrow_i16x8(a, b));
      o += 16;
      i += 32;
      continue;
    }
    const v128_t ha = wasm_u16x8_gt(a, wasm_i16x8_splat(0x7F));
    const v128_t hb = wasm_u16x8_gt(b, wasm_i16x8_splat(0x7F));
    if (!wasm_v128_any_true(wasm_v128_and(both, wasm_i16x8_splat(static_cast<short>(0xF800))))) {
      o = utf16_two8_simd128(a, ha, static_cast<unsigned>(wasm_i16x8_bitmask(ha)), o);
      o = utf16_two8_simd128(b, hb, static_cast<unsigned>(wasm_i16x8_bitmask(hb)), o);
      i += 32;
      continue;
    }
    const v128_t surrogate = wasm_i16x8_splat(static_cast<short>(0xD800));
    const v128_t top5 = wasm_i16x8_splat(static_cast<short>(0xF800));
    if (!wasm_v128_any_true(wasm_v128_or(wasm_i16x8_eq(wasm_v128_and(a, top5), surrogate),
                                         wasm_i16x8_eq(wasm_v128_and(b, top5), surrogate)))) {
      o = utf16_three4_simd128(wasm_u32x4_extend_low_u16x8(a), o);
      o = utf16_three4_simd128(wasm_u32x4_extend_high_u16x8(a), o);
      o = utf16_three4_simd128(wasm_u32x4_extend_low_u16x8(b), o);
      o = utf16_three4_simd128(wasm_u32x4_extend_high_u16x8(b), o);
      i += 32;
      continue;
    }
    const std::uint64_t stop = i + 32;
    while (i < stop) i = utf16_step(in, n, i, o, r.replaced);
  }
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace simd::simd128

#endif  // TF_WASM_KERNELS

#if defined(TF_NEON_KERNELS)

namespace {

// The masks of the four 8-byte halves of a and b (bytes 0x00 or 0xFF), one
// result byte each in order, from one chain of pairwise adds.
inline std::uint32_t half_masks(uint8x16_t a, uint8x16_t b) noexcept {
  alignas(16) static constexpr std::uint8_t kBits[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                         1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bits = vld1q_u8(kBits);
  uint8x16_t sums = vpaddq_u8(vandq_u8(a, bits), vandq_u8(b, bits));
  sums = vpaddq_u8(sums, sums);
  sums = vpaddq_u8(sums, sums);
  return vgetq_lane_u32(vreinterpretq_u32_u8(sums), 0);
}

// 8 units below U+0800 (`mask`: which are above 0x7F): one or two bytes
// each, squeezed with kPack2; stores 16 bytes.
inline unsigned char* utf16_two8_neon(uint16x8_t v, uint16x8_t high, unsigned mask,
                                      unsigned char* o) noexcept {
  const uint16x8_t lead = vorrq_u16(vshrq_n_u16(v, 6), vdupq_n_u16(0xC0));
  const uint16x8_t cont =
      vshlq_n_u16(vorrq_u16(vandq_u16(v, vdupq_n_u16(0x3F)), vdupq_n_u16(0x80)), 8);
  const uint16x8_t lanes = vbslq_u16(high, vorrq_u16(lead, cont), v);
  vst1q_u8(o, vqtbl1q_u8(vreinterpretq_u8_u16(lanes), vld1q_u8(kPack2.shuffle[mask])));
  return o + kPack2.length[mask];
}

// 4 units without surrogates in 32-bit lanes (`index`: the kPack3 index of
// their lengths): one to three bytes each; stores 16 bytes.
inline unsigned char* utf16_three4_neon(uint16x4_t units, unsigned index,
                                        unsigned char* o) noexcept {
  const uint32x4_t x = vmovl_u16(units);
  const uint32x4_t six = vdupq_n_u32(0x3F);
  const uint32x4_t cont = vdupq_n_u32(0x80);
  const uint32x4_t last = vorrq_u32(vandq_u32(x, six), cont);
  const uint32x4_t middle = vorrq_u32(vandq_u32(vshrq_n_u32(x, 6), six), cont);
  const uint32x4_t two =
      vorrq_u32(vorrq_u32(vshrq_n_u32(x, 6), vdupq_n_u32(0xC0)), vshlq_n_u32(last, 8));
  const uint32x4_t three = vorrq_u32(vorrq_u32(vshrq_n_u32(x, 12), vdupq_n_u32(0xE0)),
                                     vorrq_u32(vshlq_n_u32(middle, 8), vshlq_n_u32(last, 16)));
  uint32x4_t lanes = vbslq_u32(vcgtq_u32(x, vdupq_n_u32(0x7F)), two, x);
  lanes = vbslq_u32(vcgtq_u32(x, vdupq_n_u32(0x7FF)), three, lanes);
  vst1q_u8(o, vqtbl1q_u8(vreinterpretq_u8_u32(lanes), vld1q_u8(kPack3.shuffle[index])));
  return o + kPack3.length[index];
}

}  // namespace

namespace simd::neon {

// 16 units at a time: all ASCII narrowed after one horizontal maximum, all
// below U+0800 in 16-bit lanes, without surrogates in 32-bit lanes, the
// lengths' masks of each vector from one chain of pairwise adds; 16 units
// with a surrogate go unit by unit, which does every replacement.
Utf16Conversion utf16le_to_utf8(const unsigned char* in, std::uint64_t n,
                                unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  std::uint64_t i = 0;
  while (n - i >= 32) {
    simd::prefetch(in + i);
    const uint16x8_t a = vreinterpretq_u16_u8(vld1q_u8(in + i));
    const uint16x8_t b = vreinterpretq_u16_u8(vld1q_u8(in + i + 16));
    const unsigned top = vmaxvq_u16(vmaxq_u16(a, b));
    if (top < 0x80) {
      vst1q_u8(o, vcombine_u8(vmovn_u16(a), vmovn_u16(b)));
      o += 16;
      i += 32;
      continue;
    }
    const uint16x8_t ha = vcgtq_u16(a, vdupq_n_u16(0x7F));
    const uint16x8_t hb = vcgtq_u16(b, vdupq_n_u16(0x7F));
    if (top < 0x800) {
      const std::uint32_t m = half_masks(vcombine_u8(vmovn_u16(ha), vmovn_u16(hb)), vdupq_n_u8(0));
      o = utf16_two8_neon(a, ha, m & 0xFF, o);
      o = utf16_two8_neon(b, hb, (m >> 8) & 0xFF, o);
      i += 32;
      continue;
    }
    const uint16x8_t sa = vceqq_u16(vandq_u16(a, vdupq_n_u16(0xF800)), vdupq_n_u16(0xD800));
    const uint16x8_t sb = vceqq_u16(vandq_u16(b, vdupq_n_u16(0xF800)), vdupq_n_u16(0xD800));
    if (vmaxvq_u16(vorrq_u16(sa, sb)) == 0) {
      const uint16x8_t ta = vcgtq_u16(a, vdupq_n_u16(0x7FF));
      const uint16x8_t tb = vcgtq_u16(b, vdupq_n_u16(0x7FF));
      // Bytes 0-1: units above 0x7F, bytes 2-3: above 0x7FF.
      const std::uint32_t m = half_masks(vcombine_u8(vmovn_u16(ha), vmovn_u16(hb)),
                                         vcombine_u8(vmovn_u16(ta), vmovn_u16(tb)));
      const uint16x4_t quads[4] = {vget_low_u16(a), vget_high_u16(a), vget_low_u16(b),
                                   vget_high_u16(b)};
      for (int q = 0; q < 4; ++q) {
        const unsigned ge80 = (m >> (4 * q)) & 15;
        const unsigned ge800 = (m >> (16 + 4 * q)) & 15;
        o = utf16_three4_neon(quads[q], kSpread4[ge80] + kSpread4[ge800], o);
      }
      i += 32;
      continue;
    }
    const std::uint64_t stop = i + 32;
    while (i < stop) i = utf16_step(in, n, i, o, r.replaced);
  }
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace simd::neon

#endif  // TF_NEON_KERNELS

#if defined(TF_X86_KERNELS)

namespace {

// 8 units below U+0800 in one 128-bit half: one or two bytes per unit.
TF_TARGET_AVX2 inline unsigned char* pack2_store(__m128i lanes, unsigned mask,
                                                 unsigned char* o) noexcept {
  const __m128i packed = _mm_shuffle_epi8(
      lanes, _mm_load_si128(reinterpret_cast<const __m128i*>(kPack2.shuffle[mask])));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), packed);
  return o + kPack2.length[mask];
}

// 4 units in 32-bit lanes, one to three bytes each.
TF_TARGET_AVX2 inline unsigned char* pack3_store(__m128i lanes, unsigned index,
                                                 unsigned char* o) noexcept {
  const __m128i packed = _mm_shuffle_epi8(
      lanes, _mm_load_si128(reinterpret_cast<const __m128i*>(kPack3.shuffle[index])));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), packed);
  return o + kPack3.length[index];
}

// 8 units without surrogates: one to three bytes each; stores at most 40 bytes.
TF_TARGET_AVX2 inline unsigned char* utf16_widen8(__m128i units, unsigned char* o) noexcept {
  const __m256i x = _mm256_cvtepu16_epi32(units);
  const __m256i six = _mm256_set1_epi32(0x3F);
  const __m256i cont = _mm256_set1_epi32(0x80);
  const __m256i last = _mm256_or_si256(_mm256_and_si256(x, six), cont);
  const __m256i middle = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(x, 6), six), cont);
  const __m256i two =
      _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 6), _mm256_set1_epi32(0xC0)),
                      _mm256_slli_epi32(last, 8));
  const __m256i three =
      _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 12), _mm256_set1_epi32(0xE0)),
                      _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
  const __m256i ge80 = _mm256_cmpgt_epi32(x, _mm256_set1_epi32(0x7F));
  const __m256i ge800 = _mm256_cmpgt_epi32(x, _mm256_set1_epi32(0x7FF));
  const __m256i lanes = _mm256_blendv_epi8(_mm256_blendv_epi8(x, two, ge80), three, ge800);
  const auto a = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(ge80)));
  const auto b = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(ge800)));
  o = pack3_store(_mm256_castsi256_si128(lanes), kSpread4[a & 15] + kSpread4[b & 15], o);
  return pack3_store(_mm256_extracti128_si256(lanes, 1), kSpread4[a >> 4] + kSpread4[b >> 4], o);
}

// 8 units holding surrogates, each high one followed by its low one inside
// the 16 units being converted. A pair's four bytes are split over the two
// lanes, two bytes each, so every lane still holds one to three bytes:
// F0+ and the first continuation in the high lane (from the code point),
// the last two continuations in the low lane (from the low unit and the two
// low bits of the high unit before it). `prev` and `next` are the units one
// place before and after.
TF_TARGET_AVX2 inline unsigned char* utf16_widen8_pairs(__m128i units, __m128i prev, __m128i next,
                                                        unsigned char* o) noexcept {
  const __m256i x = _mm256_cvtepu16_epi32(units);
  const __m256i xp = _mm256_cvtepu16_epi32(prev);
  const __m256i xn = _mm256_cvtepu16_epi32(next);
  const __m256i six = _mm256_set1_epi32(0x3F);
  const __m256i cont = _mm256_set1_epi32(0x80);
  const __m256i last = _mm256_or_si256(_mm256_and_si256(x, six), cont);
  const __m256i middle = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(x, 6), six), cont);
  const __m256i two =
      _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 6), _mm256_set1_epi32(0xC0)),
                      _mm256_slli_epi32(last, 8));
  const __m256i three =
      _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 12), _mm256_set1_epi32(0xE0)),
                      _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
  // 0x10000 + (x - 0xD800) * 0x400 + (next - 0xDC00)
  const __m256i cp = _mm256_sub_epi32(_mm256_add_epi32(_mm256_slli_epi32(x, 10), xn),
                                      _mm256_set1_epi32(0x35FDC00));
  const __m256i high_word = _mm256_or_si256(
      _mm256_or_si256(_mm256_srli_epi32(cp, 18), _mm256_set1_epi32(0xF0)),
      _mm256_slli_epi32(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(cp, 12), six), cont),
                        8));
  const __m256i low_word = _mm256_or_si256(
      _mm256_or_si256(
          _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(xp, _mm256_set1_epi32(3)), 4),
                          _mm256_and_si256(_mm256_srli_epi32(x, 6), _mm256_set1_epi32(0x0F))),
          cont),
      _mm256_slli_epi32(last, 8));
  const __m256i kind = _mm256_and_si256(x, _mm256_set1_epi32(0xFC00));
  const __m256i high = _mm256_cmpeq_epi32(kind, _mm256_set1_epi32(0xD800));
  const __m256i low = _mm256_cmpeq_epi32(kind, _mm256_set1_epi32(0xDC00));
  const __m256i ge80 = _mm256_cmpgt_epi32(x, _mm256_set1_epi32(0x7F));
  const __m256i ge800 = _mm256_cmpgt_epi32(x, _mm256_set1_epi32(0x7FF));
  __m256i lanes = _mm256_blendv_epi8(_mm256_blendv_epi8(x, two, ge80), three, ge800);
  lanes = _mm256_blendv_epi8(lanes, high_word, high);
  lanes = _mm256_blendv_epi8(lanes, low_word, low);
  const auto a = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(ge80)));
  const auto b = static_cast<unsigned>(_mm256_movemask_ps(
      _mm256_castsi256_ps(_mm256_andnot_si256(_mm256_or_si256(high, low), ge800))));
  o = pack3_store(_mm256_castsi256_si128(lanes), kSpread4[a & 15] + kSpread4[b & 15], o);
  return pack3_store(_mm256_extracti128_si256(lanes, 1), kSpread4[a >> 4] + kSpread4[b >> 4], o);
}

// 16 units at in + i (with `available` = n - i >= 32 bytes from there);
// false, with nothing written, when the unit-by-unit path must take them: a
// surrogate that is unpaired, or paired across the edge of the 16 units.
TF_TARGET_AVX2 inline bool utf16_block16(const unsigned char* in, std::uint64_t i,
                                         std::uint64_t available, unsigned char*& o) noexcept {
  const unsigned char* p = in + i;
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  if (_mm256_testz_si256(v, _mm256_set1_epi16(static_cast<short>(0xFF80)))) {
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    o += 16;
    return true;
  }
  if (_mm256_testz_si256(v, _mm256_set1_epi16(static_cast<short>(0xF800)))) {
    const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(v, 6), _mm256_set1_epi16(0xC0));
    const __m256i cont = _mm256_slli_epi16(
        _mm256_or_si256(_mm256_and_si256(v, _mm256_set1_epi16(0x3F)), _mm256_set1_epi16(0x80)), 8);
    const __m256i high = _mm256_cmpgt_epi16(v, _mm256_set1_epi16(0x7F));
    const __m256i lanes = _mm256_blendv_epi8(v, _mm256_or_si256(lead, cont), high);
    const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(high, high)));
    o = pack2_store(_mm256_castsi256_si128(lanes), mask & 0xFF, o);
    o = pack2_store(_mm256_extracti128_si256(lanes, 1), (mask >> 16) & 0xFF, o);
    return true;
  }
  const __m256i kind = _mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xFC00)));
  const auto highs = static_cast<unsigned>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi16(kind, _mm256_set1_epi16(static_cast<short>(0xD800)))));
  const auto lows = static_cast<unsigned>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi16(kind, _mm256_set1_epi16(static_cast<short>(0xDC00)))));
  if ((highs | lows) == 0) {
    o = utf16_widen8(_mm256_castsi256_si128(v), o);
    o = utf16_widen8(_mm256_extracti128_si256(v, 1), o);
    return true;
  }
  // Two mask bits per unit: every low unit right after a high one, and no
  // high unit last. The units before and after are read as well.
  if (lows != highs << 2 || (highs >> 30) != 0 || i < 2 || available < 34) return false;
  const __m256i prev = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 2));
  const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
  o = utf16_widen8_pairs(_mm256_castsi256_si128(v), _mm256_castsi256_si128(prev),
                         _mm256_castsi256_si128(next), o);
  o = utf16_widen8_pairs(_mm256_extracti128_si256(v, 1), _mm256_extracti128_si256(prev, 1),
                         _mm256_extracti128_si256(next, 1), o);
  return true;
}

// Vectors of 16 units from i while 32 bytes remain; returns the next i.
TF_TARGET_AVX2 inline std::uint64_t utf16_blocks_avx2(const unsigned char* in, std::uint64_t n,
                                                      std::uint64_t i, unsigned char*& o,
                                                      bool& replaced) noexcept {
  while (n - i >= 32) {
    simd::prefetch(in + i);
    if (utf16_block16(in, i, n - i, o)) {
      i += 32;
      continue;
    }
    const std::uint64_t end = i + 32;
    while (i < end) i = utf16_step(in, n, i, o, replaced);
  }
  return i;
}

}  // namespace

namespace simd::avx2 {

TF_TARGET_AVX2 Utf16Conversion utf16le_to_utf8(const unsigned char* in, std::uint64_t n,
                                               unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  const std::uint64_t i = utf16_blocks_avx2(in, n, 0, o, r.replaced);
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace simd::avx2

namespace {

TF_TARGET_AVX512 __attribute__((always_inline)) inline Utf16Conversion utf16_avx512(
    const unsigned char* in, std::uint64_t n, unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  std::uint64_t i = 0;
  const __m512i non_ascii = _mm512_set1_epi16(static_cast<short>(0xFF80));
  while (n - i >= 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    if (_mm512_test_epi16_mask(v, non_ascii) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm512_cvtepi16_epi8(v));
      o += 32;
      i += 64;
      continue;
    }
    // Two vectors of 16 units; a pair taken whole may move i past them.
    const std::uint64_t end = i + 64;
    while (i < end && n - i >= 32) {
      if (utf16_block16(in, i, n - i, o)) {
        i += 32;
        continue;
      }
      const std::uint64_t stop = i + 32;
      while (i < stop) i = utf16_step(in, n, i, o, r.replaced);
    }
  }
  i = utf16_blocks_avx2(in, n, i, o, r.replaced);
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace

TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, Utf16Conversion, utf16le_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                utf16_avx512(in, n, out))
namespace {

// (a & b) | c
TF_TARGET_AVX512VBMI2 inline __m512i and_or(__m512i a, __m512i b, __m512i c) noexcept {
  return _mm512_ternarylogic_epi32(a, b, c, 0xEA);
}

// 16 units in 32-bit lanes, their UTF-8 bytes in order from the first byte
// of each lane, squeezed together with byte compress. `next` holds the unit
// after each; a lane in `highs` is a high surrogate whose low one follows
// and gets the four bytes of the pair; a lane in `empty` (that low one, or a
// unit left for the next step) gives nothing. Stores 64 bytes.
TF_TARGET_AVX512VBMI2 inline unsigned char* utf16_squeeze16(__m512i x, __m512i next,
                                                            __mmask16 highs, __mmask16 empty,
                                                            unsigned char* o) noexcept {
  const __m512i six = _mm512_set1_epi32(0x3F);
  const __m512i cont = _mm512_set1_epi32(0x80);
  const __m512i last = and_or(x, six, cont);
  const __m512i middle = and_or(_mm512_srli_epi32(x, 6), six, cont);
  const __m512i two = _mm512_ternarylogic_epi32(_mm512_slli_epi32(last, 8), _mm512_srli_epi32(x, 6),
                                                _mm512_set1_epi32(0xC0), 0xFE);
  const __m512i three = _mm512_ternarylogic_epi32(
      _mm512_slli_epi32(last, 16), _mm512_slli_epi32(middle, 8),
      _mm512_or_si512(_mm512_srli_epi32(x, 12), _mm512_set1_epi32(0xE0)), 0xFE);
  const __mmask16 ge80 = _mm512_cmpgt_epu32_mask(x, _mm512_set1_epi32(0x7F));
  const __mmask16 ge800 = _mm512_cmpgt_epu32_mask(x, _mm512_set1_epi32(0x7FF));
  __m512i lanes = _mm512_mask_mov_epi32(x, ge80, two);
  lanes = _mm512_mask_mov_epi32(lanes, ge800, three);
  if (highs != 0) {
    // 0x10000 + (x - 0xD800) * 0x400 + (next - 0xDC00)
    const __m512i cp = _mm512_sub_epi32(_mm512_add_epi32(_mm512_slli_epi32(x, 10), next),
                                        _mm512_set1_epi32(0x35FDC00));
    const __m512i c0 = and_or(cp, six, cont);
    const __m512i c1 = and_or(_mm512_srli_epi32(cp, 6), six, cont);
    const __m512i c2 = and_or(_mm512_srli_epi32(cp, 12), six, cont);
    const __m512i four = _mm512_ternarylogic_epi32(
        _mm512_slli_epi32(c0, 24), _mm512_slli_epi32(c1, 16),
        _mm512_ternarylogic_epi32(_mm512_slli_epi32(c2, 8), _mm512_srli_epi32(cp, 18),
                                  _mm512_set1_epi32(0xF0), 0xFE),
        0xFE);
    lanes = _mm512_mask_mov_epi32(lanes, highs, four);
  }
  lanes = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~empty), lanes);
  // Every byte that is not zero, and the first byte of each lane that is
  // not empty (an ASCII NUL is zero).
  const __m512i first =
      _mm512_maskz_mov_epi32(static_cast<__mmask16>(~empty), _mm512_set1_epi32(1));
  const __m512i marked = _mm512_or_si512(lanes, first);
  const __mmask64 keep = _mm512_test_epi8_mask(marked, marked);
  _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, lanes));
  return o + __builtin_popcountll(keep);
}

// 32 units below U+0800 in 16-bit lanes: one or two bytes each.
TF_TARGET_AVX512VBMI2 inline unsigned char* utf16_squeeze32_two(__m512i v,
                                                                unsigned char* o) noexcept {
  const __mmask32 ge80 = _mm512_cmpgt_epu16_mask(v, _mm512_set1_epi16(0x7F));
  const __m512i last =
      _mm512_ternarylogic_epi32(v, _mm512_set1_epi16(0x3F), _mm512_set1_epi16(0x80), 0xEA);
  const __m512i two = _mm512_ternarylogic_epi32(_mm512_slli_epi16(last, 8), _mm512_srli_epi16(v, 6),
                                                _mm512_set1_epi16(0xC0), 0xFE);
  const __m512i lanes = _mm512_mask_mov_epi16(v, ge80, two);
  const __mmask64 keep = _mm512_test_epi8_mask(lanes, lanes) | 0x5555555555555555ULL;
  _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, lanes));
  return o + __builtin_popcountll(keep);
}

}  // namespace

namespace simd::avx512vbmi2 {

// 32 units at a time while 33 are left: all ASCII, all below U+0800, without
// surrogates, or with every surrogate in a pair (a pair across the end is
// left for the next step) go through the vector code; any other 32 units
// unit by unit, which does every replacement.
TF_TARGET_AVX512VBMI2 Utf16Conversion utf16le_to_utf8(const unsigned char* in, std::uint64_t n,
                                                      unsigned char* out) noexcept {
  Utf16Conversion r;
  unsigned char* o = out;
  std::uint64_t i = 0;
  while (n - i >= 66) {
    const __m512i v = _mm512_loadu_si512(in + i);
    if (_mm512_test_epi16_mask(v, _mm512_set1_epi16(static_cast<short>(0xFF80))) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm512_cvtepi16_epi8(v));
      o += 32;
      i += 64;
      continue;
    }
    if (_mm512_test_epi16_mask(v, _mm512_set1_epi16(static_cast<short>(0xF800))) == 0) {
      o = utf16_squeeze32_two(v, o);
      i += 64;
      continue;
    }
    const __m512i kind = _mm512_and_si512(v, _mm512_set1_epi16(static_cast<short>(0xFC00)));
    const __mmask32 highs =
        _mm512_cmpeq_epi16_mask(kind, _mm512_set1_epi16(static_cast<short>(0xD800)));
    const __mmask32 lows =
        _mm512_cmpeq_epi16_mask(kind, _mm512_set1_epi16(static_cast<short>(0xDC00)));
    if (lows != static_cast<__mmask32>(highs << 1)) {
      const std::uint64_t stop = i + 64;
      while (i < stop) i = utf16_step(in, n, i, o, r.replaced);
      continue;
    }
    // A high surrogate last waits for the next step, where it comes first.
    const __mmask32 carried = highs & 0x80000000u;
    const __mmask32 empty = lows | carried;
    const __mmask32 paired = highs & ~carried;
    const __m512i next0 =
        _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 2)));
    const __m512i next1 =
        _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 34)));
    o = utf16_squeeze16(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(v)), next0,
                        static_cast<__mmask16>(paired), static_cast<__mmask16>(empty), o);
    o = utf16_squeeze16(_mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(v, 1)), next1,
                        static_cast<__mmask16>(paired >> 16), static_cast<__mmask16>(empty >> 16),
                        o);
    i += carried != 0 ? 62 : 64;
  }
  i = utf16_blocks_avx2(in, n, i, o, r.replaced);
  utf16_tail(in, n, i, o, r.replaced);
  r.length = static_cast<std::uint64_t>(o - out);
  return r;
}

}  // namespace simd::avx512vbmi2

#endif  // TF_X86_KERNELS

}  // namespace tf
