// The UTF-8 to UTF-16LE conversion of the "utf16le" save, one byte at a time
// with no shortcuts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tf_ref {

struct Utf16leResult {
  std::string bytes;  // FF FE and the units
};

inline Utf16leResult utf16le_encode(std::string_view text) {
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  Utf16leResult r;
  r.bytes = "\xFF\xFE";
  auto unit = [&](std::uint32_t u) {
    r.bytes.push_back(static_cast<char>(u & 0xFF));
    r.bytes.push_back(static_cast<char>((u >> 8) & 0xFF));
  };
  std::size_t i = 0;
  while (i < n) {
    const std::uint32_t b = t[i];
    std::uint32_t cp = 0xFFFD;
    int taken = 1;
    bool four = false;
    if (b <= 0x7F) {
      cp = b;
    } else if (b >= 0xC0 && b <= 0xDF && i + 1 < n) {
      cp = ((b & 0x1F) << 6) | (t[i + 1] & 0x3F);
      taken = 2;
    } else if (b >= 0xE0 && b <= 0xEF && i + 2 < n) {
      cp = ((b & 0x0F) << 12) | ((t[i + 1] & 0x3F) << 6) | (t[i + 2] & 0x3F);
      taken = 3;
    } else if (b >= 0xF0 && b <= 0xF7 && i + 3 < n) {
      cp = ((b & 0x07) << 18) | ((t[i + 1] & 0x3F) << 12) | ((t[i + 2] & 0x3F) << 6) |
           (t[i + 3] & 0x3F);
      taken = 4;
      four = true;
    }
    i += static_cast<std::size_t>(taken);
    if (four && cp > 0x10FFFF) {
      unit(0xFFFD);
    } else if (four && cp > 0xFFFF) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return r;
}

}  // namespace tf_ref
