#include "query/count_lines.hpp"

#include "decode/line_breaks.hpp"

namespace tf::query {

// Every LF, every CR and every CR LF pair counted at once.
std::int64_t count_lines(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return 0;
  return decode::lines_from_breaks(decode::count_line_breaks(text, length), text, length);
}

}  // namespace tf::query
