// Reading an opened file and turning it into a document: the middle of
// tf_open, between the checks on the path and the registration in a slot.
#pragma once

#include <cstdint>

#include "decode/decode.hpp"

namespace tf::decode {

struct LoadedFile {
  std::uint64_t raw_length = 0;  // the bytes read; past kMaxFileBytes on kTooLarge
  int encoding = kAnsi;
  int had_bom = 0;
  int line_ending = kLf;
  std::int64_t lines = 0;  // count_lines of the decoded text
  DecodedText decoded;
};

// The file is read in pieces of this size.
inline constexpr std::uint64_t kReadPiece = std::uint64_t{1} << 20;

// The largest file accepted (500 MiB); a file of exactly this size is.
inline constexpr std::uint64_t kMaxFileBytes = 524288000;

// kGrew is internal: the file went on past the size given, and is read again
// from its start to its end.
enum class LoadStatus { kOk, kOutOfMemory, kShortRead, kDecodeFailed, kTooLarge, kGrew };

// Reads the file at fd, whose status gave `size` bytes, and gives what
// tf_open stores: the result of detect_encoding, decode_to_utf8 and
// detect_line_ending with the line count of the text. One pass: each piece
// is checked, decoded and its line breaks counted while it is in the cache.
// Well-formed UTF-8 (with or without the mark) is read straight into the
// block that becomes the text; UTF-16LE and ansi files are decoded piece by
// piece into the text block, and their bytes are not kept.
// A file whose size is 0 or that goes on past `size` (the files of /proc,
// a file being written) is read to its end, up to kMaxFileBytes.
// kOutOfMemory: the block for the file's bytes cannot be allocated;
// kShortRead: fewer than `size` bytes arrived, or reading failed;
// kDecodeFailed: the text block cannot be allocated; kTooLarge: more than
// kMaxFileBytes arrived (raw_length says how many were read).
// `piece` (at least 1) is kReadPiece except in tests of the piece edges.
LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out,
                     std::uint64_t piece = kReadPiece) noexcept;

}  // namespace tf::decode
