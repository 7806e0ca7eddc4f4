// Reading an opened file and turning it into a document: the middle of
// tf_open, between the checks on the path and the registration in a slot.
#pragma once

#include <cstdint>

#include "decode/decode.hpp"

namespace tf::decode {

struct LoadedFile {
  int encoding = kAnsi;
  int had_bom = 0;
  int line_ending = kLf;
  std::int64_t lines = 0;  // count_lines of the decoded text
  DecodedText decoded;
};

// The file is read in pieces of this size, each checked right after it
// arrives.
inline constexpr std::uint64_t kReadPiece = std::uint64_t{1} << 20;

enum class LoadStatus { kOk, kOutOfMemory, kShortRead, kDecodeFailed };

// Reads `size` bytes from fd, detects the encoding, decodes to UTF-8 and
// classifies the line endings of the decoded text and counts its lines. The
// results are those of detect_encoding, decode_to_utf8, detect_line_ending
// and count_lines applied to the file's bytes and the text; the work is arranged so that each byte
// is touched as few times as possible:
// - the file is read in pieces small enough to stay in the core's cache,
//   and each piece is checked for well-formed UTF-8 and scanned for line
//   breaks right after it arrives;
// - a byte-order mark is moved out of the first piece, so the bytes after
//   it start the block;
// - when those bytes are well-formed UTF-8 (any file detected as utf8, and
//   a utf8-bom file without replacements) they are the decoded text, and the
//   block they were read into becomes the text block: no second copy exists;
// - otherwise the block is decoded into a new one and released.
// kOutOfMemory: the block for the file's bytes cannot be allocated;
// kShortRead: fewer than `size` bytes arrived; kDecodeFailed: the text block
// cannot be allocated.
// `piece` (at least 1) is kReadPiece except in tests of the piece edges.
LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out,
                     std::uint64_t piece = kReadPiece) noexcept;

}  // namespace tf::decode
