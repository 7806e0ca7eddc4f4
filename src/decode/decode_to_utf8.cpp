#include <cstring>

#include "decode/decode.hpp"
#include "decode/utf8_sequence.hpp"

namespace tf::decode {
namespace {

// The block's first `length` bytes become the text.
int adopt(HeapBytes& block, std::uint64_t length, DecodedText& out) noexcept {
  block[length] = 0;
  out.text = std::move(block);
  out.text_length = length;
  return 0;
}

}  // namespace

int decode_to_utf8(const unsigned char* bytes, std::uint64_t length, int encoding,
                   DecodedText& out) noexcept {
  out = DecodedText{};
  if (bytes == nullptr && length != 0) return -1;
  switch (encoding) {
    case kUtf8Bom:
      return decode_utf8(bytes, length, length >= 3 ? 3 : 0, out);
    case kUtf16le:
      return decode_utf16le(bytes, length, out);
    case kUtf8:
      return decode_utf8(bytes, length, 0, out);
    default:
      return decode_ansi(bytes, length, out);
  }
}

int decode_to_utf8(HeapBytes block, std::uint64_t length, int encoding, DecodedText& out) noexcept {
  out = DecodedText{};
  if (!block) return -1;
  unsigned char* bytes = block.get();
  if (encoding == kUtf8) return adopt(block, length, out);
  if (encoding == kUtf8Bom) {
    const std::uint64_t start = length >= 3 ? 3 : 0;
    const std::uint64_t n = length - start;
    if (utf8_valid_prefix(bytes + start, n) == n) {
      std::memmove(bytes, bytes + start, n);
      return adopt(block, n, out);
    }
  }
  return decode_to_utf8(bytes, length, encoding, out);
}

}  // namespace tf::decode
