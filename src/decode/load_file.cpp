#include "decode/load_file.hpp"

#include <cerrno>

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

}  // namespace

LoadStatus load_file(int fd, std::uint64_t size, LoadedFile& out, std::uint64_t piece) noexcept {
  HeapBytes block = alloc_large(size + 1);
  if (!block) return LoadStatus::kOutOfMemory;
  for (std::uint64_t got = 0; got < size;) {
    const std::uint64_t want = size - got < piece ? size - got : piece;
    const std::uint64_t arrived = read_fully(fd, block.get() + got, want);
    got += arrived;
    if (arrived < want) return LoadStatus::kShortRead;
  }
  detect_encoding(block.get(), size, &out.encoding, &out.had_bom);
  DecodedText& decoded = out.decoded;
  if (decode_to_utf8(std::move(block), size, out.encoding, decoded) != 0) {
    return LoadStatus::kDecodeFailed;
  }
  out.line_ending = detect_line_ending(decoded.text.get(), decoded.text_length, &out.lines);
  return LoadStatus::kOk;
}

}  // namespace tf::decode
