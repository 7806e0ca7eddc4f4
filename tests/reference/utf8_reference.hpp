// Deliberately plain reference decoders for differential tests. Nothing here
// is fast or clever: each rule is written out the long way, and the notion of
// a well-formed UTF-8 sequence is derived from the code point a lead byte's
// bit pattern announces, not from byte ranges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tf_ref {

using Bytes = std::vector<unsigned char>;

// The well-formed UTF-8 sequence starting at p, if any: its length (1..4) and
// its code point. Length 0 when no well-formed sequence starts at p.
struct Sequence {
  int length = 0;
  std::uint32_t code_point = 0;
};

// `available` is the number of bytes that may be read from p.
inline Sequence utf8_sequence_at(const unsigned char* p, std::size_t available) {
  if (available == 0) return {};
  const unsigned lead = p[0];
  int length;
  std::uint32_t value;
  std::uint32_t smallest;       // below this the same length would be overlong
  if ((lead & 0x80) == 0x00) {  // 0xxxxxxx
    length = 1;
    value = lead;
    smallest = 0;
  } else if ((lead & 0xE0) == 0xC0) {  // 110xxxxx
    length = 2;
    value = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {  // 1110xxxx
    length = 3;
    value = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {  // 11110xxx
    length = 4;
    value = lead & 0x07;
    smallest = 0x10000;
  } else {  // 10xxxxxx or 11111xxx: no sequence starts with it
    return {};
  }
  if (static_cast<std::size_t>(length) > available) return {};
  for (int k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return {};
    value = (value << 6) | (p[k] & 0x3F);
  }
  if (value < smallest) return {};                    // overlong
  if (value >= 0xD800 && value <= 0xDFFF) return {};  // surrogate
  if (value > 0x10FFFF) return {};                    // beyond Unicode
  return {length, value};
}

// True when [p, p + n) is a concatenation of well-formed sequences.
inline bool is_well_formed(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const Sequence s = utf8_sequence_at(p + i, n - i);
    if (s.length == 0) return false;
    i += static_cast<std::size_t>(s.length);
  }
  return true;
}

inline bool is_well_formed(const Bytes& b) { return is_well_formed(b.data(), b.size()); }

// Standard UTF-8 for any value up to U+10FFFF (surrogates included, as the
// appender does); anything larger becomes U+FFFD.
inline void append_utf8(Bytes& out, std::uint32_t cp) {
  if (cp > 0x10FFFF) cp = 0xFFFD;
  if (cp <= 0x7F) {
    out.push_back(static_cast<unsigned char>(cp));
  } else if (cp <= 0x7FF) {
    out.push_back(static_cast<unsigned char>(0xC0 + cp / 64));
    out.push_back(static_cast<unsigned char>(0x80 + cp % 64));
  } else if (cp <= 0xFFFF) {
    out.push_back(static_cast<unsigned char>(0xE0 + cp / 4096));
    out.push_back(static_cast<unsigned char>(0x80 + cp / 64 % 64));
    out.push_back(static_cast<unsigned char>(0x80 + cp % 64));
  } else {
    out.push_back(static_cast<unsigned char>(0xF0 + cp / 262144));
    out.push_back(static_cast<unsigned char>(0x80 + cp / 4096 % 64));
    out.push_back(static_cast<unsigned char>(0x80 + cp / 64 % 64));
    out.push_back(static_cast<unsigned char>(0x80 + cp % 64));
  }
}

struct Decoded {
  Bytes text;
  int sanitized = 0;
};

// One step at a time: a well-formed sequence is re-encoded from its code
// point; any other byte becomes one U+FFFD and decoding resumes at the next
// byte. `out` is cleared first (its capacity is kept, for tight loops).
inline void decode_utf8(const unsigned char* p, std::size_t n, std::size_t start, Decoded& out) {
  out.text.clear();
  out.sanitized = 0;
  std::size_t i = start;
  while (i < n) {
    const Sequence s = utf8_sequence_at(p + i, n - i);
    if (s.length == 0) {
      append_utf8(out.text, 0xFFFD);
      out.sanitized = 1;
      i += 1;
    } else {
      append_utf8(out.text, s.code_point);
      i += static_cast<std::size_t>(s.length);
    }
  }
}

inline Decoded decode_utf8(const unsigned char* p, std::size_t n, std::size_t start = 0) {
  Decoded out;
  decode_utf8(p, n, start, out);
  return out;
}

// The number of bytes in [p + start, p + n) that start no well-formed
// sequence when scanning as the decoder does, and the number of well-formed
// U+FFFD characters already present in that range.
struct Utf8Census {
  std::size_t bad_bytes = 0;
  std::size_t replacement_chars = 0;
};

inline Utf8Census utf8_census(const unsigned char* p, std::size_t n, std::size_t start = 0) {
  Utf8Census c;
  std::size_t i = start;
  while (i < n) {
    const Sequence s = utf8_sequence_at(p + i, n - i);
    if (s.length == 0) {
      ++c.bad_bytes;
      i += 1;
    } else {
      if (s.code_point == 0xFFFD) ++c.replacement_chars;
      i += static_cast<std::size_t>(s.length);
    }
  }
  return c;
}

// The number of U+FFFD characters in a well-formed text.
inline std::size_t count_replacements(const unsigned char* p, std::size_t n) {
  return utf8_census(p, n).replacement_chars;
}

// UTF-16LE after a two-byte mark, which is skipped without a look. A high
// surrogate takes the next unit only when that is a low surrogate; any
// unpaired surrogate, and a final odd byte, is one U+FFFD.
inline Decoded decode_utf16le(const unsigned char* p, std::size_t n) {
  Decoded out;
  if (n < 3) return out;
  if (n == 3) {
    append_utf8(out.text, 0xFFFD);
    out.sanitized = 1;
    return out;
  }
  std::vector<std::uint32_t> units;
  for (std::size_t i = 2; i + 1 < n; i += 2) units.push_back(p[i] + 256u * p[i + 1]);
  const bool odd_byte_left = (n - 2) % 2 == 1;
  auto is_high = [](std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  auto is_low = [](std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  std::size_t k = 0;
  while (k < units.size()) {
    const std::uint32_t u = units[k];
    if (is_high(u) && k + 1 < units.size() && is_low(units[k + 1])) {
      append_utf8(out.text, 0x10000 + (u - 0xD800) * 0x400 + (units[k + 1] - 0xDC00));
      k += 2;
    } else if (is_high(u) || is_low(u)) {
      append_utf8(out.text, 0xFFFD);
      out.sanitized = 1;
      k += 1;
    } else {
      append_utf8(out.text, u);
      k += 1;
    }
  }
  if (odd_byte_left) {
    append_utf8(out.text, 0xFFFD);
    out.sanitized = 1;
  }
  return out;
}

// Every byte is the code point of the same number.
inline Bytes decode_ansi(const unsigned char* p, std::size_t n) {
  Bytes out;
  for (std::size_t i = 0; i < n; ++i) append_utf8(out, p[i]);
  return out;
}

// Encoding codes: utf8 0, utf8-bom 1, utf16le 2, ansi 3.
struct Detection {
  int encoding = 3;
  int had_bom = 0;
};

inline Detection detect_encoding(const unsigned char* p, std::size_t n) {
  if (p == nullptr) return {3, 0};
  if (n == 0) return {0, 0};
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return {2, 1};
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return {1, 1};
  return is_well_formed(p, n) ? Detection{0, 0} : Detection{3, 0};
}

// Line-ending codes: lf 0, crlf 1, cr 2, mixed 3.
inline int detect_line_ending(const unsigned char* p, std::size_t n) {
  if (p == nullptr) return 0;
  std::size_t lone_lf = 0, lone_cr = 0, pairs = 0;
  std::size_t i = 0;
  while (i < n) {
    if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') {
      ++pairs;
      i += 2;
      continue;
    }
    if (p[i] == '\r') ++lone_cr;
    if (p[i] == '\n') ++lone_lf;
    ++i;
  }
  int kinds = 0;
  if (lone_lf > 0) ++kinds;
  if (lone_cr > 0) ++kinds;
  if (pairs > 0) ++kinds;
  if (kinds > 1) return 3;
  if (pairs > 0) return 1;
  if (lone_cr > 0) return 2;
  return 0;
}

}  // namespace tf_ref
