// Deliberately plain restatements of the text measures, for differential
// tests: no tables, no tricks, each written from its definition rather than
// from the library's algorithm.
#pragma once

#include <cstdint>
#include <string_view>

namespace tf_ref {

inline unsigned char byte_at(std::string_view t, std::size_t i) {
  return static_cast<unsigned char>(t[i]);
}

// A line break ends after byte i when byte i is LF, or a CR that is not
// followed by LF (a CR LF pair ends at its LF).
inline bool break_ends_after(std::string_view t, std::size_t i) {
  if (t[i] == '\n') return true;
  return t[i] == '\r' && (i + 1 == t.size() || t[i + 1] != '\n');
}

// 1 plus the breaks that have at least one byte after them; 0 when empty.
inline std::int64_t lines(std::string_view t) {
  if (t.empty()) return 0;
  std::int64_t count = 1;
  for (std::size_t i = 0; i + 1 < t.size(); ++i) {
    if (break_ends_after(t, i)) ++count;
  }
  return count;
}

// Separators, listed range by range.
inline bool is_separator(unsigned char b) {
  return b <= 0x2F || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x5E) || b == 0x60 ||
         (b >= 0x7B && b <= 0x7F);
}

// A word starts at every non-separator byte that is first or follows a
// separator.
inline std::int64_t words(std::string_view t) {
  std::int64_t count = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (is_separator(byte_at(t, i))) continue;
    if (i == 0 || is_separator(byte_at(t, i - 1))) ++count;
  }
  return count;
}

// Character steps: the lead byte decides; a sequence that does not fit
// before the end is a one-byte step.
inline std::int64_t chars(std::string_view t) {
  std::int64_t count = 0;
  std::size_t i = 0;
  const std::size_t n = t.size();
  while (i < n) {
    const unsigned char b = byte_at(t, i);
    std::size_t step = 1;
    if (b >= 0xC0 && b <= 0xDF) {
      if (i + 1 < n) step = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      if (i + 2 < n) step = 3;
    } else if (b >= 0xF0 && b <= 0xF7) {
      if (i + 3 < n) step = 4;
    }
    ++count;
    i += step;
  }
  return count;
}

struct Position {
  std::int64_t line;
  std::int64_t col;
};

// Line and column of an offset: only the bytes before the position are
// looked at, as if the text ended there, so a CR right before the position is
// a break of its own.
inline Position line_col(std::string_view t, std::int64_t offset) {
  std::size_t p = 0;
  if (offset > 0) {
    p = static_cast<std::uint64_t>(offset) > t.size() ? t.size() : static_cast<std::size_t>(offset);
  }
  const std::string_view before = t.substr(0, p);
  Position at{1, 1};
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (break_ends_after(before, i)) {
      ++at.line;
      line_start = i + 1;
    }
  }
  at.col = static_cast<std::int64_t>(p - line_start) + 1;
  return at;
}

// Well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
inline bool valid_utf8(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size()) {
    const unsigned char b = byte_at(t, i);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      cp = b & 0x07u;
    } else {
      return false;
    }
    if (i + len > t.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const unsigned char c = byte_at(t, i + k);
      if ((c & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

}  // namespace tf_ref
