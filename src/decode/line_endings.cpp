#include "decode/decode.hpp"
#include "decode/line_breaks.hpp"

namespace tf::decode {

// Lone LFs, lone CRs and CR LF pairs (CR CR LF is one lone CR and one pair);
// two or more kinds present is mixed.
int detect_line_ending(const unsigned char* text, std::uint64_t length,
                       std::int64_t* lines) noexcept {
  if (lines != nullptr) *lines = 0;
  if (text == nullptr || length == 0) return kLf;
  const LineBreakCounts counts = count_line_breaks(text, length);
  if (lines != nullptr) *lines = lines_from_breaks(counts, text, length);
  return classify_line_breaks(counts);
}

}  // namespace tf::decode
