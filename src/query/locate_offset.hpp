#pragma once

#include <cstdint>

namespace tf::query {

// A 1-based position: line, and column counted in bytes from the line start.
struct LineCol {
  std::int64_t line = 1;
  std::int64_t col = 1;
};

// The line and column of a byte offset. The offset is clamped to 0..length
// and used as is, even inside a character. Each break before the position
// counts (LF, lone CR, CR LF once); a CR right before the position counts
// even when an LF follows at the position, so the offset between CR and LF
// is already the start of the next line. An absent text gives 1:1.
LineCol locate_offset(const unsigned char* text, std::uint64_t length,
                      std::int64_t offset) noexcept;

}  // namespace tf::query
