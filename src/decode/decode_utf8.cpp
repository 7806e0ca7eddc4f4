#include "decode/decode.hpp"
#include "decode/finish_text.hpp"
#include "decode/utf8_appender.hpp"
#include "decode/utf8_sequence.hpp"

namespace tf::decode {
namespace {

constexpr unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};

}  // namespace

// Well-formed runs are copied as they stand; every byte that starts no
// well-formed sequence becomes one U+FFFD of its own and decoding resumes at
// the very next byte.
int decode_utf8(const unsigned char* bytes, std::uint64_t length, std::uint64_t start,
                DecodedText& out) noexcept {
  out.sanitized = 0;
  Utf8Appender appender;
  int sanitized = 0;
  std::uint64_t i = start;
  while (i < length) {
    const std::uint64_t run = utf8_valid_prefix(bytes + i, length - i);
    if (run > 0) {
      if (appender.append_bytes(bytes + i, run) != 0) return -1;
      i += run;
      continue;
    }
    sanitized = 1;
    if (appender.append_bytes(kReplacement, 3) != 0) return -1;
    ++i;
  }
  return finish_text(appender, sanitized, out);
}

}  // namespace tf::decode
