// Latin-1 to UTF-8: 00-7F stay, 80-FF become C2 80 .. C3 BF. ASCII stretches
// are copied a vector at a time; a vector with high bytes is widened to
// 16-bit lanes holding one or two output bytes and squeezed with kPack2.
#include "decode/transcode.hpp"
#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/pack_tables.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using simd::kPack2;

inline unsigned char* latin1_byte(unsigned char b, unsigned char* out) noexcept {
  if (b < 0x80) {
    *out = b;
    return out + 1;
  }
  out[0] = static_cast<unsigned char>(0xC0 | (b >> 6));
  out[1] = static_cast<unsigned char>(0x80 | (b & 0x3F));
  return out + 2;
}

// The portable and 16-byte vector levels: ASCII 16 bytes at a time, other
// stretches byte by byte.
template <class Ascii16>
__attribute__((always_inline)) inline std::uint64_t latin1_blocks(const unsigned char* in,
                                                                  std::uint64_t n,
                                                                  unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  simd::ascii16_walk(in, n, 0, i, o, 16, Ascii16::copy, [&](std::uint64_t at) {
    o = latin1_byte(in[at], o);
    return at + 1;
  });
  for (; i < n; ++i) o = latin1_byte(in[i], o);
  return static_cast<std::uint64_t>(o - out);
}

}  // namespace

#if defined(TF_X86_KERNELS)

namespace {

// 16 input bytes with at least one high byte; stores at most 32 bytes.
TF_TARGET_AVX2 inline unsigned char* latin1_widen16(__m128i bytes, unsigned mask,
                                                    unsigned char* o) noexcept {
  const __m256i w = _mm256_cvtepu8_epi16(bytes);
  const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(w, 6), _mm256_set1_epi16(0xC0));
  const __m256i cont = _mm256_slli_epi16(_mm256_and_si256(w, _mm256_set1_epi16(0xBF)), 8);
  const __m256i high = _mm256_cmpgt_epi16(w, _mm256_set1_epi16(0x7F));
  const __m256i lanes = _mm256_blendv_epi8(w, _mm256_or_si256(lead, cont), high);
  const unsigned m0 = mask & 0xFF;
  const unsigned m1 = (mask >> 8) & 0xFF;
  const __m128i lo =
      _mm_shuffle_epi8(_mm256_castsi256_si128(lanes),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kPack2.shuffle[m0])));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), lo);
  o += kPack2.length[m0];
  const __m128i hi =
      _mm_shuffle_epi8(_mm256_extracti128_si256(lanes, 1),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kPack2.shuffle[m1])));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), hi);
  return o + kPack2.length[m1];
}

TF_TARGET_AVX2 inline unsigned char* latin1_block16(const unsigned char* in,
                                                    unsigned char* o) noexcept {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const auto mask = static_cast<unsigned>(_mm_movemask_epi8(v));
  if (mask == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
    return o + 16;
  }
  return latin1_widen16(v, mask, o);
}

// 32 bytes at a time while they last, then byte by byte.
TF_TARGET_AVX2 __attribute__((always_inline)) inline std::uint64_t latin1_avx2(
    const unsigned char* in, std::uint64_t n, unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  for (; n - i >= 32; i += 32) {
    simd::prefetch(in + i);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    if (_mm256_movemask_epi8(v) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), v);
      o += 32;
      continue;
    }
    o = latin1_block16(in + i, o);
    o = latin1_block16(in + i + 16, o);
  }
  for (; i < n; ++i) o = latin1_byte(in[i], o);
  return static_cast<std::uint64_t>(o - out);
}

// 32 bytes (`high`: those above 0x7F) as one or two UTF-8 bytes each, in
// the 16-bit lanes of a vector: the lead byte low, a continuation byte or
// zero high. Kept are every low byte and the high bytes of `high`.
TF_TARGET_AVX512VBMI2 inline __m512i latin1_squeeze32(__m256i bytes, __mmask32 high) noexcept {
  const __m512i w = _mm512_cvtepu8_epi16(bytes);
  // (w & 0x3F | 0x80) << 8 | w >> 6 | 0xC0
  const __m512i cont = _mm512_slli_epi16(
      _mm512_ternarylogic_epi32(w, _mm512_set1_epi16(0x3F), _mm512_set1_epi16(0x80), 0xEA), 8);
  const __m512i two =
      _mm512_ternarylogic_epi32(cont, _mm512_srli_epi16(w, 6), _mm512_set1_epi16(0xC0), 0xFE);
  const __m512i lanes = _mm512_mask_mov_epi16(w, high, two);
  const __mmask64 keep = 0x5555555555555555ULL | _pdep_u64(high, 0xAAAAAAAAAAAAAAAAULL);
  return _mm512_maskz_compress_epi8(keep, lanes);
}

}  // namespace

TF_LEVEL_KERNEL(avx2, TF_TARGET_AVX2, std::uint64_t, latin1_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                latin1_avx2(in, n, out))

// Without byte compress, widening 16 bytes at a time through the shuffle
// tables, as the AVX2 version does, is the fastest way found.
TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, std::uint64_t, latin1_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                latin1_avx2(in, n, out))

namespace simd::avx512vbmi2 {

// 64 bytes at a time: ASCII copied, anything else squeezed 32 bytes at a
// time; whole vectors are stored while 2 n leaves room for them, the last
// bytes with masked loads and stores.
TF_TARGET_AVX512VBMI2 std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                                                   unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __mmask64 high = _mm512_movepi8_mask(v);
    if (high == 0) {
      _mm512_storeu_si512(o, v);
      o += 64;
      continue;
    }
    const auto low_half = static_cast<__mmask32>(high);
    const auto high_half = static_cast<__mmask32>(high >> 32);
    _mm512_storeu_si512(o, latin1_squeeze32(_mm512_castsi512_si256(v), low_half));
    o += 32 + __builtin_popcount(low_half);
    _mm512_storeu_si512(o, latin1_squeeze32(_mm512_extracti64x4_epi64(v, 1), high_half));
    o += 32 + __builtin_popcount(high_half);
  }
  while (i < n) {
    const std::uint64_t k = n - i < 32 ? n - i : 32;
    const auto valid = static_cast<__mmask32>(_bzhi_u32(~0u, static_cast<unsigned>(k)));
    const __m256i v = _mm256_maskz_loadu_epi8(valid, in + i);
    const __mmask32 high = _mm256_movepi8_mask(v);
    const std::uint64_t length = k + static_cast<unsigned>(__builtin_popcount(high));
    _mm512_mask_storeu_epi8(o, _bzhi_u64(~0ULL, static_cast<unsigned>(length)),
                            latin1_squeeze32(v, high));
    o += length;
    i += k;
  }
  return static_cast<std::uint64_t>(o - out);
}

}  // namespace simd::avx512vbmi2

#endif  // TF_X86_KERNELS

// The portable and SSE2 versions.
TF_LEVEL_KERNEL(portable, , std::uint64_t, latin1_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                latin1_blocks<simd::PortableAscii16>(in, n, out))
#if defined(TF_X86_KERNELS)
TF_LEVEL_KERNEL(sse2, , std::uint64_t, latin1_to_utf8,
                (const unsigned char* in, std::uint64_t n, unsigned char* out),
                latin1_blocks<simd::Sse2Ascii16>(in, n, out))
#endif
#if defined(TF_WASM_KERNELS)

namespace {

// 8 bytes (`mask`: bit k set when byte k is above 0x7F) widened to 16-bit
// lanes of one or two UTF-8 bytes and squeezed with kPack2, as the NEON
// version does; stores 16 bytes.
inline unsigned char* latin1_widen8_simd128(v128_t w, unsigned mask, unsigned char* o) noexcept {
  const v128_t lead = wasm_v128_or(wasm_u16x8_shr(w, 6), wasm_i16x8_splat(0xC0));
  const v128_t cont = wasm_i16x8_shl(
      wasm_v128_or(wasm_v128_and(w, wasm_i16x8_splat(0x3F)), wasm_i16x8_splat(0x80)), 8);
  const v128_t lanes =
      wasm_v128_bitselect(wasm_v128_or(lead, cont), w, wasm_u16x8_gt(w, wasm_i16x8_splat(0x7F)));
  wasm_v128_store(o, wasm_i8x16_swizzle(lanes, wasm_v128_load(kPack2.shuffle[mask])));
  return o + kPack2.length[mask];
}

}  // namespace

namespace simd::simd128 {

// 16 bytes at a time: ASCII copied; otherwise each half widened and
// squeezed by its mask.
std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                             unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  for (; n - i >= 16; i += 16) {
    const v128_t v = wasm_v128_load(in + i);
    const auto mask = static_cast<unsigned>(wasm_i8x16_bitmask(v));
    if (mask == 0) {
      wasm_v128_store(o, v);
      o += 16;
      continue;
    }
    o = latin1_widen8_simd128(wasm_u16x8_extend_low_u8x16(v), mask & 0xFF, o);
    o = latin1_widen8_simd128(wasm_u16x8_extend_high_u8x16(v), mask >> 8, o);
  }
  for (; i < n; ++i) o = latin1_byte(in[i], o);
  return static_cast<std::uint64_t>(o - out);
}

}  // namespace simd::simd128

#endif  // TF_WASM_KERNELS

#if defined(TF_NEON_KERNELS)

namespace {

// 8 bytes (`mask`: bit k set when byte k is above 0x7F) widened to 16-bit
// lanes of one or two UTF-8 bytes and squeezed with kPack2; stores 16 bytes.
inline unsigned char* latin1_widen8_neon(uint8x8_t bytes, unsigned mask,
                                         unsigned char* o) noexcept {
  const uint16x8_t w = vmovl_u8(bytes);
  const uint16x8_t lead = vorrq_u16(vshrq_n_u16(w, 6), vdupq_n_u16(0xC0));
  const uint16x8_t cont =
      vshlq_n_u16(vorrq_u16(vandq_u16(w, vdupq_n_u16(0x3F)), vdupq_n_u16(0x80)), 8);
  const uint16x8_t lanes = vbslq_u16(vcgtq_u16(w, vdupq_n_u16(0x7F)), vorrq_u16(lead, cont), w);
  vst1q_u8(o, vqtbl1q_u8(vreinterpretq_u8_u16(lanes), vld1q_u8(kPack2.shuffle[mask])));
  return o + kPack2.length[mask];
}

}  // namespace

namespace simd::neon {

// 32 bytes at a time: ASCII copied after one horizontal maximum; otherwise
// the high bytes' masks of each half from one horizontal add, and each half
// widened and squeezed.
std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                             unsigned char* out) noexcept {
  alignas(16) static constexpr std::uint8_t kBits[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                         1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bits = vld1q_u8(kBits);
  unsigned char* o = out;
  std::uint64_t i = 0;
  for (; n - i >= 32; i += 32) {
    simd::prefetch(in + i);
    const uint8x16_t a = vld1q_u8(in + i);
    const uint8x16_t b = vld1q_u8(in + i + 16);
    if (vmaxvq_u8(vorrq_u8(a, b)) < 0x80) {
      vst1q_u8(o, a);
      vst1q_u8(o + 16, b);
      o += 32;
      continue;
    }
    // Bytes k of the four halves' bit weights, summed pairwise three times:
    // each mask byte of the result is one half's mask.
    const uint8x16_t ma = vandq_u8(vcltzq_s8(vreinterpretq_s8_u8(a)), bits);
    const uint8x16_t mb = vandq_u8(vcltzq_s8(vreinterpretq_s8_u8(b)), bits);
    uint8x16_t sums = vpaddq_u8(ma, mb);
    sums = vpaddq_u8(sums, sums);
    sums = vpaddq_u8(sums, sums);
    const std::uint32_t masks = vgetq_lane_u32(vreinterpretq_u32_u8(sums), 0);
    o = latin1_widen8_neon(vget_low_u8(a), masks & 0xFF, o);
    o = latin1_widen8_neon(vget_high_u8(a), (masks >> 8) & 0xFF, o);
    o = latin1_widen8_neon(vget_low_u8(b), (masks >> 16) & 0xFF, o);
    o = latin1_widen8_neon(vget_high_u8(b), masks >> 24, o);
  }
  for (; i < n; ++i) o = latin1_byte(in[i], o);
  return static_cast<std::uint64_t>(o - out);
}

}  // namespace simd::neon

#endif  // TF_NEON_KERNELS

}  // namespace tf
