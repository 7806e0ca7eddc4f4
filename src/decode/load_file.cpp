#include "decode/load_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "decode/line_breaks.hpp"
#include "decode/transcode.hpp"
#include "decode/utf8_sequence.hpp"
#include "frame/large_block.hpp"
#include "platform/read_files.hpp"

namespace tf::decode {
namespace {

// Reads until `want` bytes have arrived, asking for up to `room` (>= want)
// bytes, and retrying after interruptions and partial reads. Returns the
// number read: fewer than `want` only at end of file or on an error, more
// than `want` when the file goes on past it (the caller asked for one byte
// more to find out without a further call).
std::uint64_t read_piece(int fd, unsigned char* buffer, std::uint64_t want,
                         std::uint64_t room) noexcept {
  std::uint64_t done = 0;
  while (done < want) {
    const std::uint64_t left = room - done;
    const std::uint64_t chunk = left < (1u << 30) ? left : (1u << 30);
    const std::int64_t got = platform::read_some(fd, buffer + done, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::uint64_t>(got);
  }
  return done;
}

// The line breaks of a text that arrives in consecutive pieces: a CR LF pair
// split between two pieces is counted once.
class BreakTally {
 public:
  void feed(const unsigned char* p, std::uint64_t n) noexcept {
    if (n == 0) return;
    const LineBreakCounts c = count_line_breaks(p, n);
    counts_.lf += c.lf;
    counts_.cr += c.cr;
    counts_.crlf += c.crlf + (last_ == '\r' && p[0] == '\n' ? 1 : 0);
    last_ = p[n - 1];
  }
  // Stores the classification and count_lines of the text fed.
  void finish(const DecodedText& text, LoadedFile& out) const noexcept {
    out.line_ending = text.text_length == 0 ? kLf : classify_line_breaks(counts_);
    out.lines = lines_from_breaks(counts_, text.text.get(), text.text_length);
  }

 private:
  LineBreakCounts counts_;
  unsigned char last_ = 0;
};

// Why reading stopped before the file was whole.
enum class Stop { kNone, kShortRead, kGoesOn };

// The file's bytes, read piece after piece from where the first piece ended.
struct Source {
  int fd;
  std::uint64_t size;  // the size the status query gave
  std::uint64_t piece;
  std::uint64_t got;  // bytes of the file read so far
  Stop stop = Stop::kNone;

  bool done() const noexcept { return got == size; }

  // Reads `want` bytes (at most what is left) to `to`, which has room for
  // them and one byte more; returns `want`, 0 when reading stopped (see
  // `stop`). At the stated end one byte more is asked for, to find a file
  // that goes on past it (an empty one included).
  std::uint64_t read(unsigned char* to, std::uint64_t want) noexcept {
    const std::uint64_t arrived = want == size - got
                                      ? read_piece(fd, to, want == 0 ? 1 : want, want + 1)
                                      : read_piece(fd, to, want, want);
    if (arrived < want) stop = Stop::kShortRead;
    if (arrived > want) stop = Stop::kGoesOn;
    if (stop != Stop::kNone) return 0;
    got += want;
    return want;
  }

  // Reads the next piece to `to` (see `read`).
  std::uint64_t next(unsigned char* to) noexcept {
    const std::uint64_t left = size - got;
    return read(to, left < piece ? left : piece);
  }
};

LoadStatus stopped(const Source& source) noexcept {
  return source.stop == Stop::kGoesOn ? LoadStatus::kGrew : LoadStatus::kShortRead;
}

// UTF-16LE: the pieces after the first are read into the start of the block
// (the file's bytes are not kept) and each is decoded while it is in the
// cache. A last odd byte or high surrogate of a piece waits for the next one.
LoadStatus stream_utf16le(Source& source, HeapBytes block, LoadedFile& out) noexcept {
  const std::uint64_t capacity = utf16le_output_bound(source.size - 2) + 1;
  HeapBytes text = alloc_large(capacity);
  if (!text) return LoadStatus::kDecodeFailed;
  BreakTally breaks;
  bool replaced = false;
  std::uint64_t written = 0;
  const unsigned char* units = block.get() + 2;
  std::uint64_t n = source.got - 2;
  for (;;) {
    std::uint64_t hold = 0;
    if (!source.done()) {
      hold = n & 1;
      const std::uint64_t even = n - hold;
      if (even >= 2 && (units[even - 1] & 0xFC) == 0xD8) hold += 2;
    }
    if (n > hold) {
      const Utf16Conversion c = utf16le_to_utf8(units, n - hold, text.get() + written);
      breaks.feed(text.get() + written, c.length);
      written += c.length;
      replaced = replaced || c.replaced;
    }
    if (source.done()) break;
    std::memmove(block.get(), units + n - hold, hold);
    const std::uint64_t arrived = source.next(block.get() + hold);
    if (arrived == 0) return stopped(source);
    units = block.get();
    n = hold + arrived;
  }
  block.reset();
  text[written] = 0;
  shrink_block(text, capacity, written + 1);
  out.decoded.text = std::move(text);
  out.decoded.text_length = written;
  out.decoded.sanitized = replaced ? 1 : 0;
  breaks.finish(out.decoded, out);
  return LoadStatus::kOk;
}

// A file without a mark that is not well-formed UTF-8: the `got` bytes in
// the block so far and every later piece (read into the start of the block)
// are widened while they are in the cache.
LoadStatus stream_ansi(Source& source, HeapBytes block, BreakTally& breaks,
                       LoadedFile& out) noexcept {
  const std::uint64_t capacity = latin1_output_bound(source.size) + 1;
  HeapBytes text = alloc_large(capacity);
  if (!text) return LoadStatus::kDecodeFailed;
  std::uint64_t written = latin1_to_utf8(block.get(), source.got, text.get());
  while (!source.done()) {
    const std::uint64_t arrived = source.next(block.get());
    if (arrived == 0) return stopped(source);
    breaks.feed(block.get(), arrived);
    written += latin1_to_utf8(block.get(), arrived, text.get() + written);
  }
  block.reset();
  text[written] = 0;
  shrink_block(text, capacity, written + 1);
  out.encoding = kAnsi;
  out.decoded.text = std::move(text);
  out.decoded.text_length = written;
  breaks.finish(out.decoded, out);
  return LoadStatus::kOk;
}

// UTF-8 with or without the mark: every piece is read to its place in the
// block, checked and its line breaks counted while it is in the cache. The
// mark is moved out of the way after the first piece, so that well-formed
// bytes are the text as they lie. CR and LF are single bytes that no decoder
// changes and that no replacement or widening produces, so the breaks of the
// bytes are those of the text.
LoadStatus stream_utf8(Source& source, HeapBytes block, LoadedFile& out) noexcept {
  unsigned char* body = block.get();
  std::uint64_t skip = 0;
  if (source.got >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF) {
    out.encoding = kUtf8Bom;
    out.had_bom = 1;
    skip = 3;
    std::memmove(body, body + 3, source.got - 3);
  }
  BreakTally breaks;
  std::uint64_t valid_end = 0;  // the bytes before it are well-formed
  bool well_formed = true;
  std::uint64_t end = source.got - skip;
  breaks.feed(body, end);
  for (;;) {
    if (well_formed) {
      valid_end += utf8_valid_prefix(body + valid_end, end - valid_end);
      // A sequence is at most four bytes long: with four bytes in hand, or
      // at the end of the file, the one that stopped the walk is ill-formed.
      if (valid_end != end && (end - valid_end >= 4 || source.done())) well_formed = false;
    }
    if (!well_formed && skip == 0) return stream_ansi(source, std::move(block), breaks, out);
    if (source.done()) break;
    const std::uint64_t arrived = source.next(body + end);
    if (arrived == 0) return stopped(source);
    breaks.feed(body + end, arrived);
    end += arrived;
  }
  DecodedText& decoded = out.decoded;
  if (well_formed) {
    body[end] = 0;
    decoded.text = std::move(block);
    decoded.text_length = end;
  } else if (decode_utf8(body, end, 0, decoded) != 0) {
    return LoadStatus::kDecodeFailed;
  }
  breaks.finish(decoded, out);
  return LoadStatus::kOk;
}

// A file whose size the status query did not give (0 for the files of
// /proc and the like) or that went on past it: read to its end in a growing
// block, then detected and decoded whole.
LoadStatus load_to_end(int fd, LoadedFile& out) noexcept {
  std::uint64_t capacity = std::uint64_t{64} << 10;
  HeapBytes block = alloc_bytes(capacity);
  if (!block) return LoadStatus::kOutOfMemory;
  std::uint64_t got = 0;
  for (;;) {
    if (got + 1 == capacity) {
      const std::uint64_t grown = capacity * 2;
      void* moved = std::realloc(block.get(), grown);
      if (moved == nullptr) return LoadStatus::kOutOfMemory;
      (void)block.release();
      block.reset(static_cast<unsigned char*>(moved));
      capacity = grown;
    }
    const std::uint64_t room = capacity - 1 - got;
    const std::int64_t n =
        platform::read_some(fd, block.get() + got, room < (1u << 30) ? room : (1u << 30));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LoadStatus::kShortRead;
    if (n == 0) break;
    got += static_cast<std::uint64_t>(n);
    out.raw_length = got;
    if (got > kMaxFileBytes) return LoadStatus::kTooLarge;
  }
  out.raw_length = got;
  detect_encoding(block.get(), got, &out.encoding, &out.had_bom);
  DecodedText& decoded = out.decoded;
  if (decode_to_utf8(std::move(block), got, out.encoding, decoded) != 0) {
    return LoadStatus::kDecodeFailed;
  }
  out.line_ending = detect_line_ending(decoded.text.get(), decoded.text_length, &out.lines);
  return LoadStatus::kOk;
}

// The size is known: the block is sized once and filled piece by piece.
LoadStatus stream_file(int fd, std::uint64_t size, LoadedFile& out, std::uint64_t piece) noexcept {
  out.raw_length = size;
  HeapBytes block = alloc_large(size + 1);
  if (!block) return LoadStatus::kOutOfMemory;
  // The first piece holds at least the three bytes the mark tests need.
  std::uint64_t first = size < piece ? size : piece;
  if (first < 3) first = size < 3 ? size : 3;
  Source source{fd, size, piece, 0};
  (void)source.read(block.get(), first);
  if (source.stop != Stop::kNone) return stopped(source);
  out.encoding = kUtf8;  // until an ill-formed sequence turns up
  if (size >= 2 && block[0] == 0xFF && block[1] == 0xFE) {
    out.encoding = kUtf16le;
    out.had_bom = 1;
    return stream_utf16le(source, std::move(block), out);
  }
  return stream_utf8(source, std::move(block), out);
}

}  // namespace

LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out, std::uint64_t piece) noexcept {
  out = LoadedFile{};
  const LoadStatus status = stream_file(fd, size, out, piece);
  if (status != LoadStatus::kGrew) return status;
  out = LoadedFile{};
  if (platform::rewind_file(fd) != 0) return LoadStatus::kShortRead;
  return load_to_end(fd, out);
}

}  // namespace tf::decode
