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

}  // namespace

namespace simd::avx2 {

TF_TARGET_AVX2 std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                                            unsigned char* out) noexcept {
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

}  // namespace simd::avx2

namespace simd::avx512 {

TF_TARGET_AVX512 std::uint64_t latin1_to_utf8(const unsigned char* in, std::uint64_t n,
                                              unsigned char* out) noexcept {
  unsigned char* o = out;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(in + i);
    const __m512i v = _mm512_loadu_si512(in + i);
    if (_mm512_movepi8_mask(v) == 0) {
      _mm512_storeu_si512(o, v);
      o += 64;
      continue;
    }
    for (int k = 0; k < 64; k += 16) o = latin1_block16(in + i + k, o);
  }
  for (; n - i >= 16; i += 16) o = latin1_block16(in + i, o);
  for (; i < n; ++i) o = latin1_byte(in[i], o);
  return static_cast<std::uint64_t>(o - out);
}

}  // namespace simd::avx512

#endif  // TF_X86_KERNELS

// The portable and SSE2 or NEON versions.
TF_ASCII16_KERNELS(std::uint64_t, latin1_to_utf8,
                   (const unsigned char* in, std::uint64_t n, unsigned char* out), latin1_blocks,
                   (in, n, out))

}  // namespace tf
