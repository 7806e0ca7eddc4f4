#include "decode/decode.hpp"
#include "decode/finish_text.hpp"
#include "decode/utf8_appender.hpp"

namespace tf::decode {

// Every byte is the code point of the same number (ISO-8859-1, no code page).
int decode_ansi(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept {
  Utf8Appender appender;
  for (std::uint64_t i = 0; i < length; ++i) {
    if (appender.append(bytes[i]) != 0) return -1;
  }
  const int keep = out.sanitized;
  return finish_text(appender, keep, out);
}

}  // namespace tf::decode
