// Counting the bytes that make line breaks: LF bytes, CR bytes and CR LF
// pairs (an LF right after a CR). From these three numbers follow the lone
// LFs (lf - crlf), the lone CRs (cr - crlf) and the breaks (lf + cr - crlf).
#pragma once

#include <cstdint>

#include "frame/kernels.hpp"

namespace tf::decode {

using simd::LineBreakCounts;

// Counts over [p, p + n); a CR at p[-1] is not looked at.
inline LineBreakCounts count_line_breaks(const unsigned char* p, std::uint64_t n) noexcept {
  return simd::kernels().count_line_breaks(p, n);
}

// The position just after the last CR or LF in [p, p + n), or 0 when there
// is none: where the line holding position n starts.
inline std::uint64_t line_start_before(const unsigned char* p, std::uint64_t n) noexcept {
  return simd::kernels().line_start_before(p, n);
}

// The line-ending code of a text with these counts.
int classify_line_breaks(const LineBreakCounts& counts) noexcept;

// The one line formula: count_lines of the text [text, text + length)
// whose breaks these are. 1 plus the breaks, less one when a break ends the
// text (it starts no further line); 0 for an empty text.
inline std::int64_t lines_from_breaks(const LineBreakCounts& c, const unsigned char* text,
                                      std::uint64_t length) noexcept {
  if (length == 0) return 0;
  const unsigned char last = text[length - 1];
  const std::uint64_t breaks = c.lf + c.cr - c.crlf;
  return static_cast<std::int64_t>(1 + breaks - (last == '\n' || last == '\r' ? 1 : 0));
}

}  // namespace tf::decode
