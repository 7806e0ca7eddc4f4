#include "decode/decode.hpp"

namespace tf::decode {

// Counts lone LFs, lone CRs and CR LF pairs (CR CR LF is one lone CR and one
// pair), then names the style: two or more kinds present is mixed.
int detect_line_ending(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return kLf;
  std::uint64_t lf = 0, cr = 0, crlf = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    const unsigned char b = text[i];
    if (b == '\r') {
      if (i + 1 < length && text[i + 1] == '\n') {
        ++crlf;
        ++i;
      } else {
        ++cr;
      }
    } else if (b == '\n') {
      ++lf;
    }
  }
  const int kinds = (lf != 0) + (cr != 0) + (crlf != 0);
  if (kinds >= 2) return kMixed;
  if (crlf != 0) return kCrlf;
  if (cr != 0) return kCr;
  return kLf;
}

}  // namespace tf::decode
