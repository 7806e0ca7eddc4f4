// One pass over a text for everything tf_stats reports.
#pragma once

#include <cstdint>

#include "frame/kernels.hpp"

namespace tf::query {

using simd::TextMeasures;

// The three counts, identical to count_lines, count_words and count_chars
// on the same bytes. The vector versions classify 64 bytes at a time into
// bit masks (LF, CR, word byte, continuation byte, lead bytes) and count with
// popcount: lines from the LF, CR and CR LF counts; words as word bytes whose
// predecessor is none; chars as the bytes that are not continuation bytes,
// which equals the character steps whenever every lead byte is followed by
// exactly the continuation bytes it announces and no others (always so for a
// decoded text). When that check fails anywhere the characters are counted
// again step by step.
inline TextMeasures measure_text(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return TextMeasures{};
  return simd::kernels().measure_text(text, length);
}

}  // namespace tf::query
