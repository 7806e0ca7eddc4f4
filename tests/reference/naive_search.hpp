// Deliberately plain models of the search and the replace-all preview:
// nested loops, one byte at a time, no shortcuts. The library must agree
// with these on every input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tf_ref {

inline unsigned char fold(unsigned char b, bool on) {
  if (on && b >= 0x41 && b <= 0x5A) return static_cast<unsigned char>(b + 0x20);
  return b;
}

// Every start position p (p + m <= n) where all m bytes agree, ascending,
// stopping once `capacity` are found.
inline std::vector<std::uint64_t> find_all(const std::string& text, const std::string& pattern,
                                           bool fold_case, int capacity) {
  std::vector<std::uint64_t> hits;
  const std::uint64_t n = text.size();
  const std::uint64_t m = pattern.size();
  if (m == 0 || capacity <= 0 || m > n) return hits;
  for (std::uint64_t p = 0; p + m <= n; ++p) {
    bool same = true;
    for (std::uint64_t k = 0; k < m; ++k) {
      if (fold(static_cast<unsigned char>(pattern[k]), fold_case) !=
          fold(static_cast<unsigned char>(text[p + k]), fold_case)) {
        same = false;
        break;
      }
    }
    if (same) {
      hits.push_back(p);
      if (hits.size() == static_cast<std::size_t>(capacity)) break;
    }
  }
  return hits;
}

inline int hit_limit(int max_hits) {
  if (max_hits <= 0) return 100;
  if (max_hits > 100000) return 100000;
  return max_hits;
}

struct Replaced {
  std::string text;
  std::uint64_t count = 0;
  std::uint64_t capacity = 0;  // the output buffer's size at the end
};

// Left to right, one byte at a time: a match inserts repl and skips the
// find; anything else copies one byte. The buffer starts at n + 64 bytes and
// doubles (repeatedly for a replacement, once for a byte) when the output and
// its 0x00 would not fit. An empty find matches nothing here.
inline Replaced replace_all(const std::string& text, const std::string& find,
                            const std::string& repl, bool fold_case) {
  Replaced out;
  const std::uint64_t n = text.size();
  const std::uint64_t f = find.size();
  const std::uint64_t r = repl.size();
  out.capacity = n + 64;
  std::uint64_t i = 0;
  while (i < n) {
    bool match = f > 0 && i + f <= n;
    for (std::uint64_t k = 0; match && k < f; ++k) {
      if (fold(static_cast<unsigned char>(find[k]), fold_case) !=
          fold(static_cast<unsigned char>(text[i + k]), fold_case)) {
        match = false;
      }
    }
    if (match) {
      const std::uint64_t o = out.text.size();
      while (o + r + 1 > out.capacity) out.capacity *= 2;
      out.text += repl;
      i += f;
      ++out.count;
    } else {
      const std::uint64_t o = out.text.size();
      if (o + 2 > out.capacity) out.capacity *= 2;
      out.text += text[i];
      ++i;
    }
  }
  return out;
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
inline bool valid_utf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;  // sequence runs past the end
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// A JSON string as the compact writer prints it; none of the texts used
// with it hold other control characters than these.
inline std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

inline std::string search_json(const std::string& text, const std::string& query, bool fold_case,
                               int max_hits) {
  const std::string q = query.substr(0, query.find('\0'));
  const auto hits = find_all(text, q, fold_case, hit_limit(max_hits));
  std::string out = "{\"count\":" + std::to_string(hits.size()) +
                    ",\"query_len\":" + std::to_string(q.size()) + ",\"hits\":[";
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (i > 0) out += ",";
    out +=
        "{\"offset\":" + std::to_string(hits[i]) + ",\"length\":" + std::to_string(q.size()) + "}";
  }
  return out + "]}";
}

// The preview JSON, or nullopt when the call must fail (its "text" would not
// be valid UTF-8).
inline std::optional<std::string> preview_json(const std::string& text, const std::string& find,
                                               const std::string& repl, bool fold_case) {
  constexpr std::size_t kLimit = 1048576;
  std::string shown;
  std::uint64_t count = 0;
  bool truncated = false;
  if (find.empty()) {
    shown = text;
  } else {
    const Replaced r = replace_all(text, find, repl, fold_case);
    count = r.count;
    shown = r.text;
    if (shown.size() > kLimit) {
      shown.resize(kLimit);
      truncated = true;
    }
  }
  shown = shown.substr(0, shown.find('\0'));
  if (!valid_utf8(shown)) return std::nullopt;
  std::string out = "{\"count\":" + std::to_string(count) + ",\"text\":" + json_string(shown);
  if (truncated) out += ",\"truncated\":true";
  return out + "}";
}

}  // namespace tf_ref
