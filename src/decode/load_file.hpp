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

// The file is read in pieces of this size.
inline constexpr std::uint64_t kReadPiece = std::uint64_t{1} << 20;

enum class LoadStatus { kOk, kOutOfMemory, kShortRead, kDecodeFailed };

// Reads `size` bytes from fd into one block and runs on them what tf_open
// runs: detect_encoding, decode_to_utf8 (the block becomes the text when the
// bytes are the text already: any file detected as utf8, and a utf8-bom file
// without replacements) and detect_line_ending with the line count of the
// text.
// kOutOfMemory: the block for the file's bytes cannot be allocated;
// kShortRead: fewer than `size` bytes arrived; kDecodeFailed: the text block
// cannot be allocated.
// `piece` (at least 1) is kReadPiece except in tests of the piece edges.
LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out,
                     std::uint64_t piece = kReadPiece) noexcept;

}  // namespace tf::decode
