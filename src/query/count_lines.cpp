#include "query/count_lines.hpp"

#include "decode/line_breaks.hpp"
#include "frame/simd_level.hpp"

namespace tf::query {

std::int64_t count_lines(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return 0;
  if (simd::active_level() != simd::Level::kScalar) {
    // Every LF, every CR and every CR LF pair counted at once: the breaks are
    // LF + CR - pairs, and one that ends the text starts no further line.
    const decode::LineBreakCounts c = decode::count_line_breaks(text, length);
    const unsigned char last = text[length - 1];
    const std::uint64_t breaks = c.lf + c.cr - c.crlf;
    return static_cast<std::int64_t>(1 + breaks - (last == '\n' || last == '\r' ? 1 : 0));
  }
  std::int64_t count = 1;
  std::uint64_t i = 0;
  while (i < length) {
    const unsigned char b = text[i];
    if (b == '\n') {
      if (i + 1 >= length) return count;
      ++count;
      ++i;
    } else if (b == '\r') {
      if (i + 1 == length) return count;
      if (text[i + 1] == '\n') {
        if (i + 2 >= length) return count;
        ++count;
        i += 2;
      } else {
        ++count;
        ++i;
      }
    } else {
      ++i;
    }
  }
  return count;
}

}  // namespace tf::query
