// The byte kernels behind decoding, the queries and the UTF-16LE save, as
// one table of function pointers per instruction-set level. The table of the
// level in force is chosen once; every caller goes through kernels(), so no
// kernel decides its level itself, and adding a level is writing its
// functions and adding one table (simd_level.cpp).
//
// The kernels are defined beside the code that uses them (decode/, query/,
// save/), each level in a namespace of its own (simd::portable, simd::sse2,
// ...); this header only declares them, so that the table can be built here
// without frame depending on those layers' headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/simd_level.hpp"

namespace tf::simd {

// Counts of the bytes that make line breaks: LF bytes, CR bytes and CR LF
// pairs (an LF right after a CR).
struct LineBreakCounts {
  std::uint64_t lf = 0;
  std::uint64_t cr = 0;
  std::uint64_t crlf = 0;
};

// What tf_stats reports besides the size.
struct TextMeasures {
  std::int64_t lines = 0;  // count_lines
  std::int64_t words = 0;  // count_words
  std::int64_t chars = 0;  // count_chars
};

// The result of a UTF-16LE to UTF-8 conversion.
struct Utf16Conversion {
  std::uint64_t length = 0;
  bool replaced = false;  // at least one U+FFFD stands for ill-formed input
};

// The result of a UTF-8 to UTF-16LE conversion.
struct Utf16Units {
  std::size_t size = 0;  // bytes written
};

// What verifying candidates has cost so far: every pattern byte compared,
// for each candidate up to and including the first that differs, plus
// kCandidate for taking the candidate at all (finding it among the bits and
// starting its comparison cost about as much as comparing 8 bytes). Once
// that outgrows the text scanned, the candidates keep agreeing deep into
// the pattern (periodic text and pattern) or crowd it (one every few
// bytes), and the scan hands over to the linear-time matcher, whose answers
// are the same: before the hand-over the scan costs no more than about one
// such unit per byte of text, which is less than the linear matcher costs.
struct VerifyBudget {
  static constexpr std::uint64_t kCandidate = 8;
  static constexpr std::uint64_t kSlack = 1024;
  std::uint64_t work = 0;
  std::uint64_t handover = 0;  // where the linear-time matcher goes on

  bool spent(std::uint64_t position, std::uint64_t m) const noexcept {
    return work > position + m + kSlack;
  }
};

// What the search scans look for: the pattern's first and last byte (folded
// when folding) and, where those two agree often, its second and
// next-to-last too. A folded letter is found by setting bit 0x20 of each
// text byte: b | 0x20 equals a lower-case letter exactly when b is that
// letter in either case, so no other byte is folded.
struct SearchNeedle {
  const unsigned char* text;
  const unsigned char* pattern;
  std::uint64_t m;
  std::uint64_t end;  // one past the last start position
  bool fold;
  unsigned char first, last;
  bool fold_first, fold_last;
  VerifyBudget* budget;  // charged by every candidate compared in full
  // Bytes 1 and m - 2 (m >= 3), tested only for the positions whose first
  // and last bytes agree: a text of few letters (two: a quarter of the
  // positions) gives far fewer candidates to compare in full.
  unsigned char second = 0, penult = 0;
  bool fold_second = false, fold_penult = false;
};

// Every kernel: result, name, parameters. What each computes is said where
// the layers call it.
#define TF_KERNEL_LIST(X, level)                                                          \
  X(level, std::uint64_t, utf8_valid_prefix, (const unsigned char* p, std::uint64_t n))   \
  X(level, std::uint64_t, latin1_to_utf8,                                                 \
    (const unsigned char* in, std::uint64_t n, unsigned char* out))                       \
  X(level, Utf16Conversion, utf16le_to_utf8,                                              \
    (const unsigned char* in, std::uint64_t n, unsigned char* out))                       \
  X(level, LineBreakCounts, count_line_breaks, (const unsigned char* p, std::uint64_t n)) \
  X(level, std::uint64_t, line_start_before, (const unsigned char* p, std::uint64_t n))   \
  X(level, TextMeasures, measure_text, (const unsigned char* text, std::uint64_t n))      \
  X(level, std::uint64_t, find_match, (const SearchNeedle& needle, std::uint64_t from))   \
  X(level, Utf16Units, utf8_to_utf16le,                                                   \
    (const unsigned char* text, std::size_t length, unsigned char* out))

#define TF_KERNEL_POINTER(level, result, name, params) result(*name) params noexcept;
#define TF_KERNEL_DECLARATION(level, result, name, params) result name params noexcept;

struct Kernels {
  Level level;
  TF_KERNEL_LIST(TF_KERNEL_POINTER, _)
};

// The table in force (the detected level's unless a test forced another).
const Kernels& kernels() noexcept;

// The table of `level`, whether or not this machine runs it; null when the
// level is not built for this architecture.
const Kernels* table_of(Level level) noexcept;

namespace portable {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
#if defined(__x86_64__)
namespace sse2 {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
namespace avx2 {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
namespace avx512 {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
namespace avx512vbmi2 {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
#endif
#if defined(__aarch64__)
namespace neon {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
#endif
#if defined(__wasm_simd128__)
namespace simd128 {
TF_KERNEL_LIST(TF_KERNEL_DECLARATION, _)
}
#endif

}  // namespace tf::simd
