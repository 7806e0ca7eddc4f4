#include "decode/decode.hpp"
#include "decode/line_breaks.hpp"

namespace tf::decode {

// Lone LFs, lone CRs and CR LF pairs (CR CR LF is one lone CR and one pair);
// two or more kinds present is mixed.
int detect_line_ending(const unsigned char* text, std::uint64_t length) noexcept {
  if (text == nullptr || length == 0) return kLf;
  return classify_line_breaks(count_line_breaks(text, length));
}

}  // namespace tf::decode
