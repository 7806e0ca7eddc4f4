#include "decode/decode.hpp"

namespace tf::decode {

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

}  // namespace tf::decode
