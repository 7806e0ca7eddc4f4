#include "query/page_json.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/kernels.hpp"
#include "frame/swar.hpp"

namespace tf::query {
namespace {

constexpr char kHead[] = "{\"text\":\"";
constexpr char kTail[] = "\",\"next_offset\":";

// Bit 7 of each byte of w that must be escaped: below 0x20, '"' or '\'.
// Borrows can mark a byte above a marked one, never one below it, so the
// lowest mark is exact.
inline std::uint64_t escape_marks(std::uint64_t w) noexcept {
  using swar::broadcast, swar::kOnes;
  const std::uint64_t control = (w - broadcast(0x20)) & ~w;
  const std::uint64_t q = w ^ broadcast('"');
  const std::uint64_t b = w ^ broadcast('\\');
  return (control | ((q - kOnes) & ~q) | ((b - kOnes) & ~b)) & swar::kHigh;
}

// The position of the first byte of [p + i, p + n) to escape, or n.
inline std::uint64_t next_escape(const unsigned char* p, std::uint64_t i,
                                 std::uint64_t n) noexcept {
  for (; n - i >= 8; i += 8) {
    const std::uint64_t marks = escape_marks(swar::load(p + i));
    if (marks != 0) return i + swar::first(marks);
  }
  for (; i < n; ++i) {
    if (p[i] < 0x20 || p[i] == '"' || p[i] == '\\') return i;
  }
  return n;
}

// The escape of one byte (two bytes, or six for \u00XX), as yyjson writes it.
inline int escape(unsigned char c, char* out) noexcept {
  out[0] = '\\';
  switch (c) {
    case '"':
      out[1] = '"';
      return 2;
    case '\\':
      out[1] = '\\';
      return 2;
    case '\b':
      out[1] = 'b';
      return 2;
    case '\t':
      out[1] = 't';
      return 2;
    case '\n':
      out[1] = 'n';
      return 2;
    case '\f':
      out[1] = 'f';
      return 2;
    case '\r':
      out[1] = 'r';
      return 2;
    default: {
      static const char kHex[] = "0123456789ABCDEF";
      out[1] = 'u';
      out[2] = '0';
      out[3] = '0';
      out[4] = kHex[c >> 4];
      out[5] = kHex[c & 15];
      return 6;
    }
  }
}

}  // namespace

PageJsonStatus write_page_json(const unsigned char* text, std::uint64_t length,
                               std::int64_t next_offset, char** json) noexcept {
  *json = nullptr;
  if (length != 0 && simd::kernels().utf8_valid_prefix(text, length) != length) {
    return PageJsonStatus::kNotUtf8;
  }
  // Room for the text with an escape in every eighth byte, grown when a text
  // needs more; the head, the tail and the number fit in the 64 bytes more.
  std::uint64_t capacity = length + length / 8 + 64;
  char* out = static_cast<char*>(std::malloc(capacity));
  if (out == nullptr) return PageJsonStatus::kOutOfMemory;
  std::memcpy(out, kHead, sizeof kHead - 1);
  std::uint64_t o = sizeof kHead - 1;
  for (std::uint64_t i = 0; i < length;) {
    const std::uint64_t stop = next_escape(text, i, length);
    // The run, one escape, and what the rest needs at the least.
    const std::uint64_t need = o + (stop - i) + 6 + (length - stop) + 64;
    if (need > capacity) {
      const std::uint64_t grown = need + need / 2;
      char* moved = static_cast<char*>(std::realloc(out, grown));
      if (moved == nullptr) {
        std::free(out);
        return PageJsonStatus::kOutOfMemory;
      }
      out = moved;
      capacity = grown;
    }
    std::memcpy(out + o, text + i, stop - i);
    o += stop - i;
    if (stop == length) break;
    o += static_cast<std::uint64_t>(escape(text[stop], out + o));
    i = stop + 1;
  }
  std::memcpy(out + o, kTail, sizeof kTail - 1);
  o += sizeof kTail - 1;
  std::snprintf(out + o, capacity - o, "%lld}", static_cast<long long>(next_offset));
  *json = out;
  return PageJsonStatus::kOk;
}

}  // namespace tf::query
