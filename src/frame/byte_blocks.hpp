// 64 bytes in the vector registers of one level, and the bit masks of byte
// comparisons on them (bit k stands for byte k). Kernels whose levels differ
// only in vector width are written once over these (a template that takes
// the block type) and instantiated inside each level's function, which
// carries the level's target attribute; the template itself is always
// inlined there, so the block's instructions are compiled for that level.
#pragma once

#include <cstdint>

#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf::simd {

// Sixteen bytes at a time for the ASCII stretches of the converters. Each
// returns false, writing nothing, when the input holds anything else:
// copy:   16 bytes below 0x80, copied;
// narrow: 8 UTF-16LE units below 0x80 (16 bytes), their 8 low bytes;
// widen:  16 bytes below 0x80, as 16 UTF-16LE units (32 bytes).
struct PortableAscii16 {
  static bool copy(const unsigned char* in, unsigned char* out) noexcept {
    const std::uint64_t a = swar::load(in);
    const std::uint64_t b = swar::load(in + 8);
    if (((a | b) & swar::kHigh) != 0) return false;
    swar::store(out, a);
    swar::store(out + 8, b);
    return true;
  }
  static bool narrow(const unsigned char* in, unsigned char* out) noexcept {
    const std::uint64_t a = swar::load(in);
    const std::uint64_t b = swar::load(in + 8);
    if (((a | b) & 0xFF80FF80FF80FF80ULL) != 0) return false;
    // The low bytes of four 16-bit lanes side by side.
    const auto pack = [](std::uint64_t x) {
      x = (x | (x >> 8)) & 0x0000FFFF0000FFFFULL;
      return (x | (x >> 16)) & 0xFFFFFFFFULL;
    };
    swar::store(out, pack(a) | (pack(b) << 32));
    return true;
  }
  static bool widen(const unsigned char* in, unsigned char* out) noexcept {
    const std::uint64_t a = swar::load(in);
    const std::uint64_t b = swar::load(in + 8);
    if (((a | b) & swar::kHigh) != 0) return false;
    // Each group of four bytes spread to the low halves of 16-bit lanes.
    const std::uint64_t quads[4] = {a & 0xFFFFFFFFULL, a >> 32, b & 0xFFFFFFFFULL, b >> 32};
    for (int k = 0; k < 4; ++k) {
      std::uint64_t x = (quads[k] | (quads[k] << 16)) & 0x0000FFFF0000FFFFULL;
      x = (x | (x << 8)) & 0x00FF00FF00FF00FFULL;
      swar::store(out + 8 * k, x);
    }
    return true;
  }
};

#if defined(TF_X86_KERNELS)

struct Sse2Block {
  __m128i v[4];
  explicit Sse2Block(const unsigned char* p) noexcept {
    for (int k = 0; k < 4; ++k)
      v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
  }
  // The bytes b with (b | bits) == value.
  std::uint64_t eq(unsigned char value, unsigned char bits = 0) const noexcept {
    const __m128i x = _mm_set1_epi8(static_cast<char>(value));
    const __m128i o = _mm_set1_epi8(static_cast<char>(bits));
    std::uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
      const auto part =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v[k], o), x)));
      m |= static_cast<std::uint64_t>(part) << (16 * k);
    }
    return m;
  }
};

struct Avx2Block {
  __m256i lo, hi;
  TF_TARGET_AVX2 explicit Avx2Block(const unsigned char* p) noexcept
      : lo(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))),
        hi(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))) {}
  TF_TARGET_AVX2 std::uint64_t eq(unsigned char value, unsigned char bits = 0) const noexcept {
    const __m256i x = _mm256_set1_epi8(static_cast<char>(value));
    const __m256i o = _mm256_set1_epi8(static_cast<char>(bits));
    const auto l =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(lo, o), x)));
    const auto h =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(hi, o), x)));
    return static_cast<std::uint64_t>(l) | (static_cast<std::uint64_t>(h) << 32);
  }
};

struct Avx512Block {
  __m512i v;
  TF_TARGET_AVX512 explicit Avx512Block(const unsigned char* p) noexcept
      : v(_mm512_loadu_si512(p)) {}
  TF_TARGET_AVX512 std::uint64_t eq(unsigned char value, unsigned char bits = 0) const noexcept {
    return _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, _mm512_set1_epi8(static_cast<char>(bits))),
                                  _mm512_set1_epi8(static_cast<char>(value)));
  }
};

struct Sse2Ascii16 {
  static bool copy(const unsigned char* in, unsigned char* out) noexcept {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(v) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    return true;
  }
  static bool narrow(const unsigned char* in, unsigned char* out) noexcept {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) != 0xFFFF) return false;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
    return true;
  }
  static bool widen(const unsigned char* in, unsigned char* out) noexcept {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(v) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_unpackhi_epi8(v, _mm_setzero_si128()));
    return true;
  }
};

#endif  // TF_X86_KERNELS

#if defined(TF_NEON_KERNELS)

struct NeonAscii16 {
  static bool copy(const unsigned char* in, unsigned char* out) noexcept {
    const uint8x16_t v = vld1q_u8(in);
    if (vmaxvq_u8(v) >= 0x80) return false;
    vst1q_u8(out, v);
    return true;
  }
  static bool narrow(const unsigned char* in, unsigned char* out) noexcept {
    const uint16x8_t v = vreinterpretq_u16_u8(vld1q_u8(in));
    if (vmaxvq_u16(v) >= 0x80) return false;
    vst1_u8(out, vmovn_u16(v));
    return true;
  }
  static bool widen(const unsigned char* in, unsigned char* out) noexcept {
    const uint8x16_t v = vld1q_u8(in);
    if (vmaxvq_u8(v) >= 0x80) return false;
    vst1q_u8(out, vreinterpretq_u8_u16(vmovl_u8(vget_low_u8(v))));
    vst1q_u8(out + 16, vreinterpretq_u8_u16(vmovl_u8(vget_high_u8(v))));
    return true;
  }
};

struct NeonBlock {
  uint8x16_t v[4];
  explicit NeonBlock(const unsigned char* p) noexcept {
    for (int k = 0; k < 4; ++k) v[k] = vld1q_u8(p + 16 * k);
  }
  std::uint64_t eq(unsigned char value, unsigned char bits = 0) const noexcept {
    const uint8x16_t x = vdupq_n_u8(value);
    const uint8x16_t o = vdupq_n_u8(bits);
    uint8x16_t m[4];
    for (int k = 0; k < 4; ++k) m[k] = vceqq_u8(vorrq_u8(v[k], o), x);
    return mask(m);
  }
  // Bit k of the result is the top bit of byte k of the four vectors.
  static std::uint64_t mask(const uint8x16_t (&m)[4]) noexcept {
    static constexpr std::uint8_t kBits[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                               1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t bits = vld1q_u8(kBits);
    const uint8x16_t a = vpaddq_u8(vandq_u8(m[0], bits), vandq_u8(m[1], bits));
    const uint8x16_t b = vpaddq_u8(vandq_u8(m[2], bits), vandq_u8(m[3], bits));
    const uint8x16_t c = vpaddq_u8(a, b);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(c, c)), 0);
  }
};

#endif  // TF_NEON_KERNELS

#if defined(TF_WASM_KERNELS)

struct Simd128Ascii16 {
  static bool copy(const unsigned char* in, unsigned char* out) noexcept {
    const v128_t v = wasm_v128_load(in);
    if (wasm_i8x16_bitmask(v) != 0) return false;
    wasm_v128_store(out, v);
    return true;
  }
  static bool narrow(const unsigned char* in, unsigned char* out) noexcept {
    const v128_t v = wasm_v128_load(in);
    if (wasm_v128_any_true(wasm_v128_and(v, wasm_i16x8_splat(static_cast<short>(0xFF80))))) {
      return false;
    }
    wasm_v128_store64_lane(out, wasm_u8x16_narrow_i16x8(v, v), 0);
    return true;
  }
  static bool widen(const unsigned char* in, unsigned char* out) noexcept {
    const v128_t v = wasm_v128_load(in);
    if (wasm_i8x16_bitmask(v) != 0) return false;
    wasm_v128_store(out, wasm_u16x8_extend_low_u8x16(v));
    wasm_v128_store(out + 16, wasm_u16x8_extend_high_u8x16(v));
    return true;
  }
};

struct Simd128Block {
  v128_t v[4];
  explicit Simd128Block(const unsigned char* p) noexcept {
    for (int k = 0; k < 4; ++k) v[k] = wasm_v128_load(p + 16 * k);
  }
  std::uint64_t eq(unsigned char value, unsigned char bits = 0) const noexcept {
    const v128_t x = wasm_u8x16_splat(value);
    const v128_t o = wasm_u8x16_splat(bits);
    v128_t m[4];
    for (int k = 0; k < 4; ++k) m[k] = wasm_i8x16_eq(wasm_v128_or(v[k], o), x);
    return mask(m);
  }
  // Bit k of the result is the top bit of byte k of the four vectors.
  static std::uint64_t mask(const v128_t (&m)[4]) noexcept {
    std::uint64_t r = 0;
    for (int k = 0; k < 4; ++k) {
      r |= static_cast<std::uint64_t>(wasm_i8x16_bitmask(m[k]) & 0xFFFF) << (16 * k);
    }
    return r;
  }
};

#endif  // TF_WASM_KERNELS

// The walk of the converters in the portable and 16-byte vector levels:
// while at least 16 + keep input bytes are left from i, 16 bytes go through
// `ascii` (true when it took them, writing `out_step` bytes) or else through
// `slow`, which takes one character at i and returns the next i, up to i + 16
// (the last one may end a little past it).
template <class Ascii, class Slow>
__attribute__((always_inline)) inline void ascii16_walk(const unsigned char* in, std::uint64_t n,
                                                        std::uint64_t keep, std::uint64_t& i,
                                                        unsigned char*& o, unsigned out_step,
                                                        Ascii ascii, Slow slow) noexcept {
  while (n - i >= 16 + keep) {
    prefetch(in + i);
    if (ascii(in + i, o)) {
      o += out_step;
      i += 16;
      continue;
    }
    const std::uint64_t end = i + 16;
    while (i < end) i = slow(i);
  }
}

}  // namespace tf::simd

// Defines the kernel `name` of one level as a call of a template body.
#define TF_LEVEL_KERNEL(level, target, result, name, params, call) \
  namespace simd::level {                                          \
  target result name params noexcept { return call; }              \
  }

// Defines the kernel `name` of every level that has a block type as
// body<Block> args.
// Defines the kernel `name` of the portable level and of the 16-byte vector
// levels (SSE2, NEON) as body<Ascii16> args.
#if defined(TF_X86_KERNELS)
#define TF_ASCII16_VECTOR_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(sse2, , result, name, params, body<simd::Sse2Ascii16> args)
#elif defined(TF_NEON_KERNELS)
#define TF_ASCII16_VECTOR_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(neon, , result, name, params, body<simd::NeonAscii16> args)
#elif defined(TF_WASM_KERNELS)
#define TF_ASCII16_VECTOR_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(simd128, , result, name, params, body<simd::Simd128Ascii16> args)
#else
#define TF_ASCII16_VECTOR_KERNELS(result, name, params, body, args)
#endif
#define TF_ASCII16_KERNELS(result, name, params, body, args)                          \
  TF_LEVEL_KERNEL(portable, , result, name, params, body<simd::PortableAscii16> args) \
  TF_ASCII16_VECTOR_KERNELS(result, name, params, body, args)

#if defined(TF_X86_KERNELS)
#define TF_BLOCK_KERNELS(result, name, params, body, args)                                      \
  TF_LEVEL_KERNEL(sse2, , result, name, params, body<simd::Sse2Block> args)                     \
  TF_LEVEL_KERNEL(avx2, TF_TARGET_AVX2, result, name, params, body<simd::Avx2Block> args)       \
  TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, result, name, params, body<simd::Avx512Block> args) \
  TF_LEVEL_KERNEL(avx512vbmi2, TF_TARGET_AVX512VBMI2, result, name, params,                     \
                  body<simd::Avx512Block> args)
#elif defined(TF_NEON_KERNELS)
#define TF_BLOCK_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(neon, , result, name, params, body<simd::NeonBlock> args)
#elif defined(TF_WASM_KERNELS)
#define TF_BLOCK_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(simd128, , result, name, params, body<simd::Simd128Block> args)
#else
#define TF_BLOCK_KERNELS(result, name, params, body, args)
#endif
