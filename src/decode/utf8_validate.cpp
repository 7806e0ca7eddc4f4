// utf8_valid_prefix: the longest prefix made of whole well-formed sequences.
//
// The vector versions check 64 bytes at a time with three nibble lookups per
// byte pair (each table entry is a set of error classes; a pair is ill-formed
// when the three sets share a class) plus a check that third and fourth bytes
// follow three- and four-byte leads. They only answer "this block holds an
// error"; the exact position is then found by the scalar walk, restarted at
// the sequence that holds the last byte before the block. An error reported
// in a block always lies at most three bytes before it, and everything
// before that was checked to be whole sequences, so that restart point is a
// sequence boundary of the scalar walk and the result is the same.
#include <cstring>

#include "decode/utf8_sequence.hpp"
#include "frame/byte_blocks.hpp"
#include "frame/kernels.hpp"
#include "frame/simd_target.hpp"
#include "frame/swar.hpp"

namespace tf {
namespace {

using decode::utf8_sequence_length;

// Runs of ASCII sixteen bytes at a time, then eight; other sequences one by
// one.
std::uint64_t valid_prefix_scalar(const unsigned char* p, std::uint64_t n) noexcept {
  std::uint64_t i = 0;
  while (i < n) {
    while (n - i >= 16 && ((swar::load(p + i) | swar::load(p + i + 8)) & swar::kHigh) == 0) {
      i += 16;
    }
    if (n - i >= 8 && (swar::load(p + i) & swar::kHigh) == 0) i += 8;
    if (i >= n) break;
    const int step = utf8_sequence_length(p + i, n - i);
    if (step == 0) break;
    i += static_cast<std::uint64_t>(step);
  }
  return i;
}

// The scalar walk from the start of the sequence that holds byte at - 1
// (found by stepping back over at most three continuation bytes).
std::uint64_t resume_scalar(const unsigned char* p, std::uint64_t n, std::uint64_t at) noexcept {
  std::uint64_t q = at;
  if (q > 0) {
    --q;
    for (int k = 0; k < 3 && q > 0 && (p[q] & 0xC0) == 0x80; ++k) --q;
  }
  return q + valid_prefix_scalar(p + q, n - q);
}

}  // namespace

namespace {

// A state machine over the bytes of well-formed UTF-8 whose states are shift
// counts: kDfa[b] holds, at bit s, the 6-bit state that byte b leads to
// from state s, so one step is a table load (independent of the state) and
// one shift. The error state is 0 and leads to itself.
enum : unsigned {
  kError = 0,
  kAccept = 6,
  kNeed1 = 12,  // one continuation byte 80-BF to come
  kNeed2 = 18,
  kNeed3 = 24,
  kAfterE0 = 30,  // A0-BF, then one more
  kAfterED = 36,  // 80-9F, then one more
  kAfterF0 = 42,  // 90-BF, then two more
  kAfterF4 = 48,  // 80-8F, then two more
};

constexpr std::uint64_t dfa_row(unsigned b) noexcept {
  const auto to = [](unsigned from, unsigned state) { return std::uint64_t{state} << from; };
  if (b < 0x80) return to(kAccept, kAccept);
  if (b < 0xC0) {
    std::uint64_t row = to(kNeed1, kAccept) | to(kNeed2, kNeed1) | to(kNeed3, kNeed2);
    if (b >= 0xA0) row |= to(kAfterE0, kNeed1);
    if (b < 0xA0) row |= to(kAfterED, kNeed1);
    if (b >= 0x90) row |= to(kAfterF0, kNeed2);
    if (b < 0x90) row |= to(kAfterF4, kNeed2);
    return row;
  }
  if (b < 0xC2) return 0;
  if (b < 0xE0) return to(kAccept, kNeed1);
  if (b == 0xE0) return to(kAccept, kAfterE0);
  if (b == 0xED) return to(kAccept, kAfterED);
  if (b < 0xF0) return to(kAccept, kNeed2);
  if (b == 0xF0) return to(kAccept, kAfterF0);
  if (b < 0xF4) return to(kAccept, kNeed3);
  if (b == 0xF4) return to(kAccept, kAfterF4);
  return 0;
}

struct DfaTable {
  std::uint64_t row[256];
  constexpr DfaTable() noexcept : row() {
    for (unsigned b = 0; b < 256; ++b) row[b] = dfa_row(b);
  }
};
constexpr DfaTable kDfa;

// Blocks of `block` bytes: skipped when `ascii` says they are ASCII at a
// sequence boundary, otherwise run through the state machine; a block that
// ends in the error state is walked again from the sequence before it,
// which finds the exact end.
template <int block, class Ascii>
__attribute__((always_inline)) inline std::uint64_t valid_prefix_dfa(const unsigned char* p,
                                                                     std::uint64_t n,
                                                                     Ascii ascii) noexcept {
  std::uint64_t i = 0;
  std::uint64_t state = kAccept;
  while (n - i >= block) {
    if (state == kAccept && ascii(p + i)) {
      i += block;
      while (n - i >= 2 * block && ascii(p + i) && ascii(p + i + block)) i += 2 * block;
      continue;
    }
    for (int k = 0; k < block; ++k) state = kDfa.row[p[i + k]] >> (state & 63);
    state &= 63;
    if (state == kError) return resume_scalar(p, n, i);
    i += block;
  }
  if (state != kAccept) return resume_scalar(p, n, i);
  return i + valid_prefix_scalar(p + i, n - i);
}

}  // namespace

#if defined(TF_X86_KERNELS) || defined(TF_NEON_KERNELS) || defined(TF_WASM_KERNELS)

namespace {

// Error classes of the lookup tables.
constexpr unsigned char kTooShort = 1 << 0;      // lead followed by a non-continuation
constexpr unsigned char kTooLong = 1 << 1;       // ASCII followed by a continuation
constexpr unsigned char kOverlong3 = 1 << 2;     // E0 80..9F
constexpr unsigned char kTooLarge = 1 << 3;      // F4 90.., F5..FF 90..
constexpr unsigned char kSurrogate = 1 << 4;     // ED A0..BF
constexpr unsigned char kOverlong2 = 1 << 5;     // C0/C1 followed by a continuation
constexpr unsigned char kTooLarge1000 = 1 << 6;  // F5..FF 80..8F
constexpr unsigned char kOverlong4 = 1 << 6;     // F0 80..8F
constexpr unsigned char kTwoConts = 1 << 7;      // continuation after continuation
constexpr unsigned char kCarry = kTooShort | kTooLong | kTwoConts;

// clang-format off
// Indexed by the high nibble of the first byte of a pair.
alignas(16) constexpr unsigned char kByte1High[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,  // 0_______
    kTwoConts, kTwoConts, kTwoConts, kTwoConts,                                      // 10______
    kTooShort | kOverlong2,                                                          // 1100____
    kTooShort,                                                                       // 1101____
    kTooShort | kOverlong3 | kSurrogate,                                             // 1110____
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};                             // 1111____
// Indexed by the low nibble of the first byte.
alignas(16) constexpr unsigned char kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,   // ____0000
    kCarry | kOverlong2,                             // ____0001
    kCarry,                                          // ____0010
    kCarry,                                          // ____0011
    kCarry | kTooLarge,                              // ____0100
    kCarry | kTooLarge | kTooLarge1000,              // ____0101
    kCarry | kTooLarge | kTooLarge1000,              // ____0110
    kCarry | kTooLarge | kTooLarge1000,              // ____0111
    kCarry | kTooLarge | kTooLarge1000,              // ____1000
    kCarry | kTooLarge | kTooLarge1000,              // ____1001
    kCarry | kTooLarge | kTooLarge1000,              // ____1010
    kCarry | kTooLarge | kTooLarge1000,              // ____1011
    kCarry | kTooLarge | kTooLarge1000,              // ____1100
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate, // ____1101
    kCarry | kTooLarge | kTooLarge1000,              // ____1110
    kCarry | kTooLarge | kTooLarge1000};             // ____1111
// Indexed by the high nibble of the second byte.
alignas(16) constexpr unsigned char kByte2High[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,  // 1000____
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,                   // 1001____
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // 1010____
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // 1011____
    kTooShort, kTooShort, kTooShort, kTooShort};                                  // 11______

// A block ends inside a sequence when one of its last three bytes is a lead
// too long to finish in the block: subtracting these limits with saturation
// leaves a non-zero byte exactly there.
alignas(16) constexpr unsigned char kIncompleteTail[16] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0 - 1, 0xE0 - 1, 0xC0 - 1};
// clang-format on

}  // namespace

#endif

#if defined(TF_X86_KERNELS)

namespace simd::sse2 {

// ASCII is skipped 64 bytes at a time; other blocks go through the state
// machine.
std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  return valid_prefix_dfa<64>(p, n, [](const unsigned char* q) {
    simd::prefetch(q);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 48));
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0;
  });
}

}  // namespace simd::sse2

namespace {

TF_TARGET_AVX2 inline __m256i lookup16_avx2(const unsigned char* table, __m256i index) noexcept {
  const __m256i t =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
  return _mm256_shuffle_epi8(t, index);
}

// Error bits of a 32-byte block given the block before it.
TF_TARGET_AVX2 inline __m256i block_errors_avx2(__m256i input, __m256i prev_input) noexcept {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i joined = _mm256_permute2x128_si256(prev_input, input, 0x21);
  const __m256i prev1 = _mm256_alignr_epi8(input, joined, 15);
  const __m256i prev2 = _mm256_alignr_epi8(input, joined, 14);
  const __m256i prev3 = _mm256_alignr_epi8(input, joined, 13);
  const __m256i b1h =
      lookup16_avx2(kByte1High, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble));
  const __m256i b1l = lookup16_avx2(kByte1Low, _mm256_and_si256(prev1, nibble));
  const __m256i b2h =
      lookup16_avx2(kByte2High, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble));
  const __m256i special = _mm256_and_si256(_mm256_and_si256(b1h, b1l), b2h);
  const __m256i third = _mm256_subs_epu8(prev2, _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
  const __m256i fourth = _mm256_subs_epu8(prev3, _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
  const __m256i must_continue =
      _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
  return _mm256_xor_si256(must_continue, special);
}

TF_TARGET_AVX2 inline __m256i incomplete_avx2(__m256i input) noexcept {
  const __m256i limits =
      _mm256_setr_m128i(_mm_set1_epi8(static_cast<char>(0xFF)),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(kIncompleteTail)));
  return _mm256_subs_epu8(input, limits);
}

}  // namespace

namespace simd::avx2 {

TF_TARGET_AVX2 std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  std::uint64_t i = 0;
  __m256i prev_input = _mm256_setzero_si256();
  __m256i prev_incomplete = _mm256_setzero_si256();
  while (n - i >= 64) {
    simd::prefetch(p + i);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
    __m256i error;
    if (_mm256_movemask_epi8(_mm256_or_si256(a, b)) == 0) {
      error = prev_incomplete;
      prev_incomplete = _mm256_setzero_si256();
    } else {
      error = _mm256_or_si256(block_errors_avx2(a, prev_input), block_errors_avx2(b, a));
      prev_incomplete = incomplete_avx2(b);
    }
    if (!_mm256_testz_si256(error, error)) return resume_scalar(p, n, i);
    prev_input = b;
    i += 64;
  }
  return resume_scalar(p, n, i);
}

}  // namespace simd::avx2

namespace {

TF_TARGET_AVX512 inline __m512i lookup16_avx512(const unsigned char* table,
                                                __m512i index) noexcept {
  const __m512i t = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
  return _mm512_shuffle_epi8(t, index);
}

}  // namespace

namespace {

TF_TARGET_AVX512 __attribute__((always_inline)) inline std::uint64_t valid_prefix_avx512(
    const unsigned char* p, std::uint64_t n) noexcept {
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  const __m512i third_limit = _mm512_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m512i fourth_limit = _mm512_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m512i high_bit = _mm512_set1_epi8(static_cast<char>(0x80));
  const __m512i tail_limits =
      _mm512_inserti32x4(_mm512_set1_epi8(static_cast<char>(0xFF)),
                         _mm_load_si128(reinterpret_cast<const __m128i*>(kIncompleteTail)), 3);
  std::uint64_t i = 0;
  __m512i prev_input = _mm512_setzero_si512();
  __m512i prev_incomplete = _mm512_setzero_si512();
  while (n - i >= 64) {
    const __m512i input = _mm512_loadu_si512(p + i);
    if (_mm512_movepi8_mask(input) == 0) {
      if (_mm512_test_epi8_mask(prev_incomplete, prev_incomplete) != 0) {
        return resume_scalar(p, n, i);
      }
      // Long ASCII runs four vectors at a time. Before the next block
      // every byte is ASCII, which the checks treat as zero bytes.
      i += 64;
      while (n - i >= 256) {
        const __m512i a = _mm512_loadu_si512(p + i);
        const __m512i b = _mm512_loadu_si512(p + i + 64);
        const __m512i c = _mm512_loadu_si512(p + i + 128);
        const __m512i d = _mm512_loadu_si512(p + i + 192);
        const __m512i any = _mm512_ternarylogic_epi64(a, b, _mm512_or_si512(c, d), 0xFE);
        if (_mm512_movepi8_mask(any) != 0) break;
        i += 256;
      }
      prev_input = _mm512_setzero_si512();
      prev_incomplete = _mm512_setzero_si512();
      continue;
    }
    simd::prefetch(p + i);
    // Each 16-byte lane joined with the lane before it (the last lane of
    // the previous block for the first one).
    const __m512i joined = _mm512_alignr_epi64(input, prev_input, 6);
    const __m512i prev1 = _mm512_alignr_epi8(input, joined, 15);
    const __m512i prev2 = _mm512_alignr_epi8(input, joined, 14);
    const __m512i prev3 = _mm512_alignr_epi8(input, joined, 13);
    const __m512i b1h =
        lookup16_avx512(kByte1High, _mm512_and_si512(_mm512_srli_epi16(prev1, 4), nibble));
    const __m512i b1l = lookup16_avx512(kByte1Low, _mm512_and_si512(prev1, nibble));
    const __m512i b2h =
        lookup16_avx512(kByte2High, _mm512_and_si512(_mm512_srli_epi16(input, 4), nibble));
    const __m512i special = _mm512_and_si512(_mm512_and_si512(b1h, b1l), b2h);
    const __m512i must_continue =
        _mm512_and_si512(_mm512_or_si512(_mm512_subs_epu8(prev2, third_limit),
                                         _mm512_subs_epu8(prev3, fourth_limit)),
                         high_bit);
    const __m512i error = _mm512_xor_si512(must_continue, special);
    prev_incomplete = _mm512_subs_epu8(input, tail_limits);
    if (_mm512_test_epi8_mask(error, error) != 0) return resume_scalar(p, n, i);
    prev_input = input;
    i += 64;
  }
  return resume_scalar(p, n, i);
}

}  // namespace

TF_LEVEL_KERNEL(avx512, TF_TARGET_AVX512, std::uint64_t, utf8_valid_prefix,
                (const unsigned char* p, std::uint64_t n), valid_prefix_avx512(p, n))
TF_LEVEL_KERNEL(avx512vbmi2, TF_TARGET_AVX512VBMI2, std::uint64_t, utf8_valid_prefix,
                (const unsigned char* p, std::uint64_t n), valid_prefix_avx512(p, n))

#endif  // TF_X86_KERNELS

#if defined(TF_NEON_KERNELS)

namespace {

// Error bits of a 16-byte vector given the one before it.
inline uint8x16_t errors_neon(uint8x16_t input, uint8x16_t prev_input) noexcept {
  const uint8x16_t nibble = vdupq_n_u8(0x0F);
  const uint8x16_t prev1 = vextq_u8(prev_input, input, 15);
  const uint8x16_t prev2 = vextq_u8(prev_input, input, 14);
  const uint8x16_t prev3 = vextq_u8(prev_input, input, 13);
  const uint8x16_t b1h = vqtbl1q_u8(vld1q_u8(kByte1High), vshrq_n_u8(prev1, 4));
  const uint8x16_t b1l = vqtbl1q_u8(vld1q_u8(kByte1Low), vandq_u8(prev1, nibble));
  const uint8x16_t b2h = vqtbl1q_u8(vld1q_u8(kByte2High), vshrq_n_u8(input, 4));
  const uint8x16_t special = vandq_u8(vandq_u8(b1h, b1l), b2h);
  const uint8x16_t must_continue = vandq_u8(vorrq_u8(vqsubq_u8(prev2, vdupq_n_u8(0xE0 - 0x80)),
                                                     vqsubq_u8(prev3, vdupq_n_u8(0xF0 - 0x80))),
                                            vdupq_n_u8(0x80));
  return veorq_u8(must_continue, special);
}

}  // namespace

namespace simd::neon {

std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  std::uint64_t i = 0;
  uint8x16_t prev_input = vdupq_n_u8(0);
  uint8x16_t prev_incomplete = vdupq_n_u8(0);
  while (n - i >= 64) {
    simd::prefetch(p + i);
    const uint8x16_t a = vld1q_u8(p + i);
    const uint8x16_t b = vld1q_u8(p + i + 16);
    const uint8x16_t c = vld1q_u8(p + i + 32);
    const uint8x16_t d = vld1q_u8(p + i + 48);
    if (vmaxvq_u8(vorrq_u8(vorrq_u8(a, b), vorrq_u8(c, d))) < 0x80) {
      if (vmaxvq_u8(prev_incomplete) != 0) return resume_scalar(p, n, i);
      // Long ASCII runs 128 bytes at a time, one horizontal maximum each.
      // Before the next block every byte is ASCII, which the checks treat
      // as zero bytes.
      i += 64;
      while (n - i >= 128) {
        uint8x16_t any = vld1q_u8(p + i);
        for (int k = 16; k < 128; k += 16) any = vorrq_u8(any, vld1q_u8(p + i + k));
        if (vmaxvq_u8(any) >= 0x80) break;
        i += 128;
      }
      prev_input = vdupq_n_u8(0);
      prev_incomplete = vdupq_n_u8(0);
      continue;
    }
    const uint8x16_t error = vorrq_u8(vorrq_u8(errors_neon(a, prev_input), errors_neon(b, a)),
                                      vorrq_u8(errors_neon(c, b), errors_neon(d, c)));
    prev_incomplete = vqsubq_u8(d, vld1q_u8(kIncompleteTail));
    if (vmaxvq_u8(error) != 0) return resume_scalar(p, n, i);
    prev_input = d;
    i += 64;
  }
  return resume_scalar(p, n, i);
}

}  // namespace simd::neon

#endif  // TF_NEON_KERNELS

#if defined(TF_WASM_KERNELS)

namespace {

// Error bits of a 16-byte vector given the one before it (the NEON
// version's steps; swizzle answers 0 for an index above 15, which the
// nibbles never are).
inline v128_t errors_simd128(v128_t input, v128_t prev_input) noexcept {
  const v128_t nibble = wasm_u8x16_splat(0x0F);
  const v128_t prev1 = wasm_i8x16_shuffle(prev_input, input, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                          25, 26, 27, 28, 29, 30);
  const v128_t prev2 = wasm_i8x16_shuffle(prev_input, input, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                                          24, 25, 26, 27, 28, 29);
  const v128_t prev3 = wasm_i8x16_shuffle(prev_input, input, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                          23, 24, 25, 26, 27, 28);
  const v128_t b1h = wasm_i8x16_swizzle(wasm_v128_load(kByte1High), wasm_u8x16_shr(prev1, 4));
  const v128_t b1l = wasm_i8x16_swizzle(wasm_v128_load(kByte1Low), wasm_v128_and(prev1, nibble));
  const v128_t b2h = wasm_i8x16_swizzle(wasm_v128_load(kByte2High), wasm_u8x16_shr(input, 4));
  const v128_t special = wasm_v128_and(wasm_v128_and(b1h, b1l), b2h);
  const v128_t must_continue =
      wasm_v128_and(wasm_v128_or(wasm_u8x16_sub_sat(prev2, wasm_u8x16_splat(0xE0 - 0x80)),
                                 wasm_u8x16_sub_sat(prev3, wasm_u8x16_splat(0xF0 - 0x80))),
                    wasm_u8x16_splat(0x80));
  return wasm_v128_xor(must_continue, special);
}

}  // namespace

namespace simd::simd128 {

std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  std::uint64_t i = 0;
  v128_t prev_input = wasm_i8x16_splat(0);
  v128_t prev_incomplete = wasm_i8x16_splat(0);
  while (n - i >= 64) {
    const v128_t a = wasm_v128_load(p + i);
    const v128_t b = wasm_v128_load(p + i + 16);
    const v128_t c = wasm_v128_load(p + i + 32);
    const v128_t d = wasm_v128_load(p + i + 48);
    if (wasm_i8x16_bitmask(wasm_v128_or(wasm_v128_or(a, b), wasm_v128_or(c, d))) == 0) {
      if (wasm_v128_any_true(prev_incomplete)) return resume_scalar(p, n, i);
      // Long ASCII runs 128 bytes at a time, one sign-bit mask each. Before
      // the next block every byte is ASCII, which the checks treat as zero
      // bytes.
      i += 64;
      while (n - i >= 128) {
        v128_t any = wasm_v128_load(p + i);
        for (int k = 16; k < 128; k += 16) any = wasm_v128_or(any, wasm_v128_load(p + i + k));
        if (wasm_i8x16_bitmask(any) != 0) break;
        i += 128;
      }
      prev_input = wasm_i8x16_splat(0);
      prev_incomplete = wasm_i8x16_splat(0);
      continue;
    }
    const v128_t error =
        wasm_v128_or(wasm_v128_or(errors_simd128(a, prev_input), errors_simd128(b, a)),
                     wasm_v128_or(errors_simd128(c, b), errors_simd128(d, c)));
    prev_incomplete = wasm_u8x16_sub_sat(d, wasm_v128_load(kIncompleteTail));
    if (wasm_v128_any_true(error)) return resume_scalar(p, n, i);
    prev_input = d;
    i += 64;
  }
  return resume_scalar(p, n, i);
}

}  // namespace simd::simd128

#endif  // TF_WASM_KERNELS

namespace simd::portable {

std::uint64_t utf8_valid_prefix(const unsigned char* p, std::uint64_t n) noexcept {
  return valid_prefix_dfa<16>(p, n, [](const unsigned char* q) {
    return ((swar::load(q) | swar::load(q + 8)) & swar::kHigh) == 0;
  });
}

}  // namespace simd::portable

}  // namespace tf
