#include "decode/decode.hpp"
#include "decode/utf8_sequence.hpp"

namespace tf::decode {

void detect_encoding(const unsigned char* bytes, std::uint64_t length, int* encoding,
                     int* had_bom) noexcept {
  *encoding = kAnsi;
  *had_bom = 0;
  if (bytes == nullptr) return;
  if (length == 0) {
    *encoding = kUtf8;
    return;
  }
  if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    *encoding = kUtf16le;
    *had_bom = 1;
    return;
  }
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    *encoding = kUtf8Bom;
    *had_bom = 1;
    return;
  }
  if (utf8_valid_prefix(bytes, length) == length) *encoding = kUtf8;
}

}  // namespace tf::decode
