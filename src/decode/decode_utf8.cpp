#include <cstring>

#include "decode/decode.hpp"
#include "decode/utf8_sequence.hpp"
#include "frame/large_block.hpp"

namespace tf::decode {
namespace {

constexpr unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};

}  // namespace

// Well-formed runs are copied as they stand; every byte that starts no
// well-formed sequence becomes one U+FFFD of its own and decoding resumes at
// the very next byte. Input that is well-formed throughout is one copy; other
// input is measured in a first pass so that the text block has its exact
// size.
int decode_utf8(const unsigned char* bytes, std::uint64_t length, std::uint64_t start,
                DecodedText& out) noexcept {
  out.sanitized = 0;
  const std::uint64_t from = start < length ? start : length;
  const unsigned char* p = bytes + from;
  const std::uint64_t n = length - from;
  const std::uint64_t first = n == 0 ? 0 : utf8_valid_prefix(p, n);

  std::uint64_t size = first;
  for (std::uint64_t i = first; i < n;) {
    size += sizeof kReplacement;
    ++i;
    const std::uint64_t run = utf8_valid_prefix(p + i, n - i);
    size += run;
    i += run;
  }

  HeapBytes text = alloc_large(size + 1);
  if (!text) return -1;
  unsigned char* o = text.get();
  if (first != 0) std::memcpy(o, p, first);
  o += first;
  for (std::uint64_t i = first; i < n;) {
    std::memcpy(o, kReplacement, sizeof kReplacement);
    o += sizeof kReplacement;
    ++i;
    const std::uint64_t run = utf8_valid_prefix(p + i, n - i);
    if (run != 0) std::memcpy(o, p + i, run);
    o += run;
    i += run;
  }
  *o = 0;
  out.text = std::move(text);
  out.text_length = size;
  out.sanitized = first < n ? 1 : 0;
  return 0;
}

}  // namespace tf::decode
