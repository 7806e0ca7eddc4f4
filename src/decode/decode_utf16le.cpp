#include "decode/decode.hpp"
#include "decode/finish_text.hpp"
#include "decode/utf8_appender.hpp"

namespace tf::decode {

// The two mark bytes are skipped unexamined. Unpaired surrogates and a final
// odd byte each become U+FFFD; a high surrogate followed by a non-low unit
// yields U+FFFD and the unit is decoded on its own.
int decode_utf16le(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept {
  out.sanitized = 0;
  Utf8Appender appender;
  int sanitized = 0;
  if (length == 3) {
    sanitized = 1;
    if (appender.append(0xFFFD) != 0) return -1;
  } else if (length >= 4) {
    std::uint64_t i = 2;
    while (i + 1 < length) {
      const std::uint32_t u = bytes[i] | (std::uint32_t{bytes[i + 1]} << 8);
      std::uint32_t code_point = u;
      std::uint64_t step = 2;
      bool unpaired = false;
      if (u >= 0xD800 && u <= 0xDBFF) {
        const std::uint32_t v =
            i + 3 < length ? bytes[i + 2] | (std::uint32_t{bytes[i + 3]} << 8) : 0;
        if (v >= 0xDC00 && v <= 0xDFFF) {
          code_point = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
          step = 4;
        } else {
          unpaired = true;
        }
      } else if (u >= 0xDC00 && u <= 0xDFFF) {
        unpaired = true;
      }
      if (unpaired) {
        sanitized = 1;
        code_point = 0xFFFD;
      }
      if (appender.append(code_point) != 0) return -1;
      i += step;
    }
    if (i < length) {
      sanitized = 1;
      if (appender.append(0xFFFD) != 0) return -1;
    }
  }
  return finish_text(appender, sanitized, out);
}

}  // namespace tf::decode
