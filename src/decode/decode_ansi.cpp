#include "decode/decode.hpp"
#include "decode/transcode.hpp"
#include "frame/large_block.hpp"

namespace tf::decode {

// Every byte is the code point of the same number (ISO-8859-1, no code page).
// The output is at most twice the input: the block is sized for that, filled
// and then shrunk to what was written.
int decode_ansi(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept {
  const std::uint64_t capacity = latin1_output_bound(length) + 1;
  HeapBytes text = alloc_large(capacity);
  if (!text) return -1;
  const std::uint64_t written = length == 0 ? 0 : latin1_to_utf8(bytes, length, text.get());
  text[written] = 0;
  shrink_block(text, capacity, written + 1);
  out.text = std::move(text);
  out.text_length = written;
  return 0;
}

}  // namespace tf::decode
