#include "decode/decode.hpp"
#include "decode/transcode.hpp"
#include "frame/large_block.hpp"

namespace tf::decode {

// The two mark bytes are skipped unexamined: inputs of up to two bytes give
// the empty text, and a lone third byte is the final odd byte of no unit.
// Unpaired surrogates and a final odd byte each become U+FFFD; a high
// surrogate followed by a non-low unit yields U+FFFD and the unit is decoded
// on its own. The block is sized for three bytes per unit, filled and then
// shrunk to what was written.
int decode_utf16le(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept {
  out.sanitized = 0;
  const std::uint64_t n = length <= 2 ? 0 : length - 2;
  const std::uint64_t capacity = utf16le_output_bound(n) + 1;
  HeapBytes text = alloc_large(capacity);
  if (!text) return -1;
  Utf16Conversion converted;
  if (n != 0) converted = utf16le_to_utf8(bytes + 2, n, text.get());
  text[converted.length] = 0;
  shrink_block(text, capacity, converted.length + 1);
  out.text = std::move(text);
  out.text_length = converted.length;
  out.sanitized = converted.replaced ? 1 : 0;
  return 0;
}

}  // namespace tf::decode
