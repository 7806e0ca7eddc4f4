// Encoding detection, decoding to UTF-8 and line-ending classification.
// Pure functions: no library state, no messages; failure is the result.
#pragma once

#include <cstdint>

#include "frame/heap.hpp"

namespace tf::decode {

enum EncodingCode : int { kUtf8 = 0, kUtf8Bom = 1, kUtf16le = 2, kAnsi = 3 };
enum LineEndingCode : int { kLf = 0, kCrlf = 1, kCr = 2, kMixed = 3 };

// A decoded text: UTF-8 bytes followed by a 0x00 terminator (never null after
// a successful decode), its length without the terminator, and whether any
// U+FFFD stands for ill-formed input.
struct DecodedText {
  HeapBytes text;
  std::uint64_t text_length = 0;
  int sanitized = 0;
};

void detect_encoding(const unsigned char* bytes, std::uint64_t length, int* encoding,
                     int* had_bom) noexcept;

// 0 on success, -1 when bytes is null with a non-zero length or memory runs
// out; on failure `out` holds no text.
int decode_to_utf8(const unsigned char* bytes, std::uint64_t length, int encoding,
                   DecodedText& out) noexcept;
// The same for bytes in a block the caller hands over (`block` holds
// `length` bytes and room for one more). Where the text is the bytes
// themselves, the block becomes the text block and no second copy is made:
// code 0, whose bytes are taken as detect_encoding found them (well-formed
// UTF-8, not checked again), and code 1 when the bytes after the mark are
// well-formed. Any other input is decoded into a new block and the given one
// is released.
int decode_to_utf8(HeapBytes block, std::uint64_t length, int encoding, DecodedText& out) noexcept;
int decode_utf8(const unsigned char* bytes, std::uint64_t length, std::uint64_t start,
                DecodedText& out) noexcept;
int decode_utf16le(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept;
// Does not write out.sanitized: nothing is ever replaced.
int decode_ansi(const unsigned char* bytes, std::uint64_t length, DecodedText& out) noexcept;

// When `lines` is not null it also receives count_lines of the same text,
// counted in the same pass.
int detect_line_ending(const unsigned char* text, std::uint64_t length,
                       std::int64_t* lines = nullptr) noexcept;

const char* encoding_name(int encoding) noexcept;
const char* line_ending_name(int line_ending) noexcept;

}  // namespace tf::decode
