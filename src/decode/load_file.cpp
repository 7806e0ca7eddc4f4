#include "decode/load_file.hpp"

#include <cerrno>
#include <cstring>

#include "decode/line_breaks.hpp"
#include "decode/utf8_sequence.hpp"
#include "frame/large_block.hpp"
#include "platform/read_files.hpp"

namespace tf::decode {
namespace {

// Reads up to n bytes, retrying after interruptions and partial reads;
// returns the number read (fewer only at end of file or on an error).
std::uint64_t read_fully(int fd, unsigned char* buffer, std::uint64_t n) noexcept {
  std::uint64_t done = 0;
  while (done < n) {
    const std::uint64_t chunk = n - done < (1u << 30) ? n - done : (1u << 30);
    const std::int64_t got = platform::read_some(fd, buffer + done, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::uint64_t>(got);
  }
  return done;
}

// Follows the bytes of a text as they arrive: whether they are well-formed
// UTF-8 so far, and their line breaks.
class BodyScan {
 public:
  explicit BodyScan(const unsigned char* body) noexcept : body_(body) {}

  // Takes in the bytes up to `end`. A sequence cut off by `end` is checked
  // again once more bytes have arrived.
  void advance(std::uint64_t end) noexcept {
    breaks_.feed(body_ + scanned_, end - scanned_);
    scanned_ = end;
    if (!well_formed_) return;
    valid_end_ += utf8_valid_prefix(body_ + valid_end_, end - valid_end_);
    // A sequence is at most four bytes long: with four bytes in hand the
    // one that stopped the walk is ill-formed whatever follows.
    if (end - valid_end_ >= 4) well_formed_ = false;
  }

  // After the last piece: the whole text is well-formed.
  bool well_formed() const noexcept { return well_formed_ && valid_end_ == scanned_; }
  const LineBreakCounts& breaks() const noexcept { return breaks_.counts(); }

 private:
  const unsigned char* body_;
  std::uint64_t scanned_ = 0;
  std::uint64_t valid_end_ = 0;
  bool well_formed_ = true;
  LineBreakCounter breaks_;
};

}  // namespace

LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out, std::uint64_t piece) noexcept {
  HeapBytes block = alloc_large(size + 1);
  if (!block) return LoadStatus::kOutOfMemory;

  // The first piece: the mark, if any, is moved out of the way, so that the
  // bytes after it start the block (a small move; later pieces are read to
  // their place directly).
  unsigned char* body = block.get();
  std::uint64_t first = size < piece ? size : piece;
  if (first < 3) first = size < 3 ? size : 3;  // the mark tests need three bytes
  if (read_fully(fd, body, first) < first) return LoadStatus::kShortRead;
  // The mark tests of detect_encoding, in its order.
  std::uint64_t skip = 0;
  if (size >= 2 && body[0] == 0xFF && body[1] == 0xFE) {
    out.encoding = kUtf16le;
    out.had_bom = 1;
    skip = 2;
  } else if (size >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF) {
    out.encoding = kUtf8Bom;
    out.had_bom = 1;
    skip = 3;
  } else {
    out.encoding = kUtf8;  // until an ill-formed sequence turns up
    out.had_bom = 0;
  }
  if (skip != 0) std::memmove(body, body + skip, first - skip);
  const std::uint64_t body_length = size - skip;

  const bool scan = out.encoding != kUtf16le;
  BodyScan scanner(body);
  std::uint64_t got = first - skip;
  if (scan) scanner.advance(got);
  while (got < body_length) {
    const std::uint64_t want = body_length - got < piece ? body_length - got : piece;
    const std::uint64_t arrived = read_fully(fd, body + got, want);
    got += arrived;
    if (arrived < want) return LoadStatus::kShortRead;
    if (scan) scanner.advance(got);
  }
  body[body_length] = 0;

  DecodedText& decoded = out.decoded;
  decoded = DecodedText{};
  if (out.encoding == kUtf16le) {
    if (decode_utf16le_units(body, body_length, decoded) != 0) return LoadStatus::kDecodeFailed;
    const std::uint64_t n = decoded.text_length;
    const LineBreakCounts breaks = count_line_breaks(decoded.text.get(), n);
    out.line_ending = n == 0 ? kLf : classify_line_breaks(breaks);
    out.lines = lines_from_breaks(breaks, n, n == 0 ? 0 : decoded.text[n - 1]);
    return LoadStatus::kOk;
  }
  if (scanner.well_formed()) {
    // The bytes are the text: the block becomes the text block.
    decoded.text = std::move(block);
    decoded.text_length = body_length;
  } else if (out.encoding == kUtf8Bom) {
    if (decode_utf8(body, body_length, 0, decoded) != 0) return LoadStatus::kDecodeFailed;
  } else {
    out.encoding = kAnsi;
    if (decode_ansi(body, body_length, decoded) != 0) return LoadStatus::kDecodeFailed;
  }
  // CR and LF are single bytes that both decoders copy unchanged and that no
  // replacement or widening can split or join, so the breaks of the text are
  // those of the bytes; and the text ends with a break exactly when the
  // bytes do (a last byte that is not a CR or LF becomes bytes 80-BF).
  out.line_ending = body_length == 0 ? kLf : classify_line_breaks(scanner.breaks());
  out.lines = lines_from_breaks(scanner.breaks(), decoded.text_length,
                                body_length == 0 ? 0 : body[body_length - 1]);
  return LoadStatus::kOk;
}

}  // namespace tf::decode
