// The decoders fed directly: for every input and every encoding code, the
// text is well-formed UTF-8, terminated, equal to the plain reference
// decoder's, has exactly one U+FFFD per ill-formed piece (and sanitized says
// so), and well-formed input comes back unchanged when encoded again.
#include <cstdint>
#include <string>

#include "decode/decode.hpp"
#include "fuzz_support.hpp"
#include "reference/utf8_reference.hpp"

namespace {

// The input being checked, shown when an invariant breaks.
const unsigned char* g_input = nullptr;
std::size_t g_input_size = 0;

std::string hex(const unsigned char* p, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < n && i < 64; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
    out += ' ';
  }
  return out;
}

void check(bool ok, const char* what) {
  if (!ok) tf_fuzz::fail(what, hex(g_input, g_input_size));
}

std::size_t count_fffd(const unsigned char* t, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i + 2 < n; ++i) {
    if (t[i] == 0xEF && t[i + 1] == 0xBF && t[i + 2] == 0xBD) ++count;
  }
  return count;
}

bool same(const tf::decode::DecodedText& got, const tf_ref::Bytes& want) {
  return got.text_length == want.size() &&
         (want.empty() || std::memcmp(got.text.get(), want.data(), want.size()) == 0);
}

// UTF-8 (well-formed) to UTF-16LE units, the long way.
std::string to_utf16le(const unsigned char* t, std::size_t n) {
  std::string out;
  auto unit = [&](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  std::size_t i = 0;
  while (i < n) {
    const tf_ref::Sequence s = tf_ref::utf8_sequence_at(t + i, n - i);
    if (s.length == 0) return "not well-formed";
    if (s.code_point >= 0x10000) {
      unit(0xD800 + ((s.code_point - 0x10000) >> 10));
      unit(0xDC00 + ((s.code_point - 0x10000) & 0x3FF));
    } else {
      unit(s.code_point);
    }
    i += static_cast<std::size_t>(s.length);
  }
  return out;
}

void check_text(const tf::decode::DecodedText& d) {
  check(d.text != nullptr, "text present after success");
  check(d.text.get()[d.text_length] == 0, "text terminated");
  check(tf_ref::is_well_formed(d.text.get(), d.text_length), "text is well-formed UTF-8");
  check(tf::decode::detect_line_ending(d.text.get(), d.text_length) ==
            tf_ref::detect_line_ending(d.text.get(), d.text_length),
        "line endings as the reference classifies them");
}

void check_utf8(const unsigned char* p, std::size_t n, int code) {
  const std::size_t start = code == tf::decode::kUtf8Bom && n >= 3 ? 3 : 0;
  tf::decode::DecodedText d;
  check(tf::decode::decode_to_utf8(p, n, code, d) == 0, "utf8 decode succeeds");
  check_text(d);
  const tf_ref::Decoded want = tf_ref::decode_utf8(p, n, start);
  check(same(d, want.text) && d.sanitized == want.sanitized, "utf8 decode equals the reference");
  const tf_ref::Utf8Census census = tf_ref::utf8_census(p, n, start);
  check(count_fffd(d.text.get(), d.text_length) == census.bad_bytes + census.replacement_chars,
        "one U+FFFD per byte that starts no well-formed sequence");
  check(d.sanitized == (census.bad_bytes > 0 ? 1 : 0), "sanitized iff something was replaced");
  if (tf_ref::is_well_formed(p + start, n - start)) {
    check(d.text_length == n - start &&
              (n == start || std::memcmp(d.text.get(), p + start, n - start) == 0),
          "well-formed UTF-8 comes back unchanged");
  }
}

void check_utf16(const unsigned char* p, std::size_t n) {
  tf::decode::DecodedText d;
  check(tf::decode::decode_to_utf8(p, n, tf::decode::kUtf16le, d) == 0, "utf16 decode succeeds");
  check_text(d);
  const tf_ref::Decoded want = tf_ref::decode_utf16le(p, n);
  check(same(d, want.text) && d.sanitized == want.sanitized, "utf16 decode equals the reference");
  // Count the ill-formed pieces directly: unpaired surrogates and an odd byte.
  std::size_t bad = 0;
  std::size_t present = 0;
  if (n == 3) bad = 1;
  if (n >= 4) {
    std::size_t i = 2;
    while (i + 1 < n) {
      const unsigned u = p[i] | (p[i + 1] << 8);
      if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
        const unsigned v = p[i + 2] | (p[i + 3] << 8);
        if (v >= 0xDC00 && v <= 0xDFFF) {
          i += 4;
          continue;
        }
      }
      if (u >= 0xD800 && u <= 0xDFFF) ++bad;
      if (u == 0xFFFD) ++present;
      i += 2;
    }
    if (i < n) ++bad;
  }
  check(count_fffd(d.text.get(), d.text_length) == bad + present,
        "one U+FFFD per unpaired surrogate or odd byte");
  check(d.sanitized == (bad > 0 ? 1 : 0), "utf16 sanitized iff something was replaced");
  if (bad == 0 && n >= 2) {
    check(to_utf16le(d.text.get(), d.text_length) ==
              std::string(reinterpret_cast<const char*>(p) + 2, n - 2),
          "well-formed UTF-16LE comes back unchanged");
  }
}

void check_ansi(const unsigned char* p, std::size_t n, int code) {
  tf::decode::DecodedText d;
  check(tf::decode::decode_to_utf8(p, n, code, d) == 0, "ansi decode succeeds");
  check_text(d);
  check(same(d, tf_ref::decode_ansi(p, n)), "ansi decode equals the reference");
  check(d.sanitized == 0, "ansi never replaces");
  // Back to one byte per code point.
  std::string back;
  std::size_t i = 0;
  while (i < d.text_length) {
    const tf_ref::Sequence s = tf_ref::utf8_sequence_at(d.text.get() + i, d.text_length - i);
    check(s.length > 0 && s.code_point < 256, "ansi text holds only U+0000..U+00FF");
    back += static_cast<char>(s.code_point);
    i += static_cast<std::size_t>(s.length);
  }
  check(back == std::string(reinterpret_cast<const char*>(p), n), "ansi round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned char* p = data;
  g_input = p;
  g_input_size = size;
  // Every kernel level this machine runs, in turn.
  tf_fuzz::for_each_level([&] {
    int encoding = -1;
    int had_bom = -1;
    tf::decode::detect_encoding(p, size, &encoding, &had_bom);
    const tf_ref::Detection want = tf_ref::detect_encoding(p, size);
    check(encoding == want.encoding && had_bom == want.had_bom, "detection equals the reference");
    check_utf8(p, size, tf::decode::kUtf8);
    check_utf8(p, size, tf::decode::kUtf8Bom);
    check_utf16(p, size);
    check_ansi(p, size, tf::decode::kAnsi);
    check_ansi(p, size, 7);  // any other code counts as ansi
  });
  return 0;
}
