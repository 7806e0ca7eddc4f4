#include "query/count_lines.hpp"

namespace tf::query {

std::int64_t count_lines(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return 0;
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
