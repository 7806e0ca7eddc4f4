#pragma once

#include "decode/decode.hpp"
#include "decode/utf8_appender.hpp"

namespace tf::decode {

// Hands the appender's block to `out`; an appender that never grew yields a
// one-byte block holding only the terminator. 0, or -1 when that byte cannot
// be allocated.
inline int finish_text(Utf8Appender& appender, int sanitized, DecodedText& out) noexcept {
  const std::uint64_t length = appender.length();
  HeapBytes text = appender.release();
  if (!text) {
    text = alloc_bytes(1);
    if (!text) return -1;
    text[0] = 0;
  }
  out.text = std::move(text);
  out.text_length = length;
  out.sanitized = sanitized;
  return 0;
}

}  // namespace tf::decode
