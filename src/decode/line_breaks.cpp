#include "decode/line_breaks.hpp"

#include "decode/decode.hpp"
#include "frame/byte_blocks.hpp"
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

namespace {

// The vector levels, 64 bytes at a time over the block of each level.
template <class Block>
__attribute__((always_inline)) inline LineBreakCounts count_blocks(const unsigned char* p,
                                                                   std::uint64_t n) noexcept {
  LineBreakCounts c;
  std::uint64_t carry = 0;
  std::uint64_t i = 0;
  for (; n - i >= 64; i += 64) {
    simd::prefetch(p + i);
    const Block block(p + i);
    count_masks(block.eq('\n'), block.eq('\r'), carry, c);
  }
  count_scalar(p, i, n, c);
  return c;
}

// Backwards: the highest CR or LF.
template <class Block>
__attribute__((always_inline)) inline std::uint64_t start_blocks(const unsigned char* p,
                                                                 std::uint64_t n) noexcept {
  std::uint64_t end = n;
  for (; end >= 64; end -= 64) {
    const Block block(p + end - 64);
    const std::uint64_t m = block.eq('\n') | block.eq('\r');
    if (m != 0) return end - 64 + static_cast<std::uint64_t>(64 - __builtin_clzll(m));
  }
  return start_scalar(p, end);
}

}  // namespace

TF_BLOCK_KERNELS(LineBreakCounts, count_line_breaks, (const unsigned char* p, std::uint64_t n),
                 count_blocks, (p, n))
TF_BLOCK_KERNELS(std::uint64_t, line_start_before, (const unsigned char* p, std::uint64_t n),
                 start_blocks, (p, n))

namespace decode {

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
