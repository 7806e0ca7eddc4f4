// 64 bytes in the vector registers of one level, and the bit masks of byte
// comparisons on them (bit k stands for byte k). Kernels whose levels differ
// only in vector width are written once over these (a template that takes
// the block type) and instantiated inside each level's function, which
// carries the level's target attribute; the template itself is always
// inlined there, so the block's instructions are compiled for that level.
#pragma once

#include <cstdint>

#include "frame/simd_target.hpp"

namespace tf::simd {

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

#endif  // TF_X86_KERNELS

#if defined(TF_NEON_KERNELS)

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

}  // namespace tf::simd

// Defines the kernel `name` of one level as a call of a template body.
#define TF_LEVEL_KERNEL(level, target, result, name, params, call) \
  namespace simd::level {                                          \
  target result name params noexcept { return call; }              \
  }

// Defines the kernel `name` of every level that has a block type as
// body<Block> args.
#if defined(TF_X86_KERNELS)
#define TF_BLOCK_KERNELS(result, name, params, body, args)                                \
  TF_LEVEL_KERNEL(sse2, , result, name, params, body<simd::Sse2Block> args)               \
  TF_LEVEL_KERNEL(avx2, TF_TARGET_AVX2, result, name, params, body<simd::Avx2Block> args) \
  TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, result, name, params, body<simd::Avx512Block> args)
#elif defined(TF_NEON_KERNELS)
#define TF_BLOCK_KERNELS(result, name, params, body, args) \
  TF_LEVEL_KERNEL(neon, , result, name, params, body<simd::NeonBlock> args)
#else
#define TF_BLOCK_KERNELS(result, name, params, body, args)
#endif
