// Deliberately plain detection, decoding and line-ending classification:
// one byte or one code point at a time, the text growing by one appended
// code point per step, no shortcuts. The fast versions are compared to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tf_ref::plain {

// Length of the well-formed UTF-8 sequence at s[i] (1..4), or 0.
inline int sequence_length(std::string_view s, std::size_t i) {
  const auto at = [&](std::size_t k) -> int {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : -1;
  };
  const auto in = [](int b, int lo, int hi) { return b >= lo && b <= hi; };
  const int b0 = at(0);
  if (in(b0, 0x00, 0x7F)) return 1;
  if (in(b0, 0xC2, 0xDF)) return in(at(1), 0x80, 0xBF) ? 2 : 0;
  if (b0 == 0xE0) return in(at(1), 0xA0, 0xBF) && in(at(2), 0x80, 0xBF) ? 3 : 0;
  if (in(b0, 0xE1, 0xEC) || in(b0, 0xEE, 0xEF)) {
    return in(at(1), 0x80, 0xBF) && in(at(2), 0x80, 0xBF) ? 3 : 0;
  }
  if (b0 == 0xED) return in(at(1), 0x80, 0x9F) && in(at(2), 0x80, 0xBF) ? 3 : 0;
  if (b0 == 0xF0) {
    return in(at(1), 0x90, 0xBF) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
  }
  if (in(b0, 0xF1, 0xF3)) {
    return in(at(1), 0x80, 0xBF) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
  }
  if (b0 == 0xF4) {
    return in(at(1), 0x80, 0x8F) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

// The longest prefix made of whole well-formed sequences.
inline std::size_t valid_prefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const int k = sequence_length(s, i);
    if (k == 0) break;
    i += static_cast<std::size_t>(k);
  }
  return i;
}

inline void append_code_point(std::string& out, std::uint32_t cp) {
  if (cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

struct Detected {
  int encoding;
  int had_bom;
};

inline Detected detect(std::string_view s) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  if (s.empty()) return {0, 0};
  if (s.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) return {2, 1};
  if (s.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return {1, 1};
  return {valid_prefix(s) == s.size() ? 0 : 3, 0};
}

struct Decoded {
  std::string text;
  int sanitized = 0;
};

inline Decoded decode_utf8(std::string_view s, std::size_t start) {
  Decoded d;
  std::size_t i = start;
  while (i < s.size()) {
    const int k = sequence_length(s, i);
    if (k == 0) {
      d.sanitized = 1;
      append_code_point(d.text, 0xFFFD);
      ++i;
      continue;
    }
    std::uint32_t cp = static_cast<unsigned char>(s[i]);
    if (k > 1) {
      cp &= 0x7Fu >> k;
      for (int j = 1; j < k; ++j) cp = (cp << 6) | (static_cast<unsigned char>(s[i + j]) & 0x3F);
    }
    append_code_point(d.text, cp);
    i += static_cast<std::size_t>(k);
  }
  return d;
}

inline Decoded decode_utf16le(std::string_view s) {
  Decoded d;
  const auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + 1])) << 8);
  };
  const std::size_t n = s.size();
  if (n == 3) {
    d.sanitized = 1;
    append_code_point(d.text, 0xFFFD);
    return d;
  }
  if (n < 4) return d;
  std::size_t i = 2;
  while (i + 1 < n) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= n) {
        d.sanitized = 1;
        append_code_point(d.text, 0xFFFD);
        i += 2;
        continue;
      }
      const std::uint32_t v = unit(i + 2);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        append_code_point(d.text, 0x10000 + (u - 0xD800) * 0x400 + (v - 0xDC00));
        i += 4;
      } else {
        d.sanitized = 1;
        append_code_point(d.text, 0xFFFD);
        i += 2;
      }
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      d.sanitized = 1;
      append_code_point(d.text, 0xFFFD);
      i += 2;
    } else {
      append_code_point(d.text, u);
      i += 2;
    }
  }
  if (i < n) {
    d.sanitized = 1;
    append_code_point(d.text, 0xFFFD);
  }
  return d;
}

inline Decoded decode_ansi(std::string_view s) {
  Decoded d;
  for (const char c : s) append_code_point(d.text, static_cast<unsigned char>(c));
  return d;
}

inline Decoded decode(std::string_view s, int encoding) {
  switch (encoding) {
    case 1:
      return decode_utf8(s, s.size() >= 3 ? 3 : 0);
    case 2:
      return decode_utf16le(s);
    case 0:
      return decode_utf8(s, 0);
    default:
      return decode_ansi(s);
  }
}

// 0 lf, 1 crlf, 2 cr, 3 mixed.
inline int line_ending(std::string_view t) {
  std::size_t lf = 0, cr = 0, crlf = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\r') {
      if (i + 1 < t.size() && t[i + 1] == '\n') {
        ++crlf;
        ++i;
      } else {
        ++cr;
      }
    } else if (t[i] == '\n') {
      ++lf;
    }
  }
  const int kinds = (lf != 0) + (cr != 0) + (crlf != 0);
  if (kinds >= 2) return 3;
  if (crlf != 0) return 1;
  if (cr != 0) return 2;
  return 0;
}

}  // namespace tf_ref::plain
