#include "query/locate_offset.hpp"

#include "decode/line_breaks.hpp"

namespace tf::query {

LineCol locate_offset(const unsigned char* text, std::uint64_t length,
                      std::int64_t offset) noexcept {
  LineCol at;
  if (text == nullptr) return at;
  std::uint64_t limit = offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
  if (limit > length) limit = length;
  // The breaks before the position are LF + CR - CR LF pairs inside the
  // range (a CR at limit - 1 stays a break whatever follows it); the line
  // starts after the last CR or LF before the position.
  const decode::LineBreakCounts c = decode::count_line_breaks(text, limit);
  at.line = static_cast<std::int64_t>(1 + c.lf + c.cr - c.crlf);
  at.col = static_cast<std::int64_t>(limit - decode::line_start_before(text, limit)) + 1;
  return at;
}

}  // namespace tf::query
