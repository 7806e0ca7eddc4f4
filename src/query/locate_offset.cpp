#include "query/locate_offset.hpp"

namespace tf::query {

LineCol locate_offset(const unsigned char* text, std::uint64_t length,
                      std::int64_t offset) noexcept {
  LineCol at;
  if (text == nullptr) return at;
  std::uint64_t limit = offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
  if (limit > length) limit = length;
  std::uint64_t i = 0;
  while (i < limit) {
    const unsigned char b = text[i++];
    if (b == '\n') {
      ++at.line;
      at.col = 1;
    } else if (b == '\r') {
      // Inside the range, the LF of a CR LF pair ends the line on its own.
      if (!(i < limit && text[i] == '\n')) {
        ++at.line;
        at.col = 1;
      }
    } else {
      ++at.col;
    }
  }
  return at;
}

}  // namespace tf::query
