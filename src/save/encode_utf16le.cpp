#include "save/encode_utf16le.hpp"

#include <cstdint>

#include "save/utf16le_units.hpp"

namespace tf::save {
namespace {

class Writer {
 public:
  Writer(Utf16Output& out, Reallocate reallocate) noexcept : out_(out), reallocate_(reallocate) {}

  bool start(std::size_t length) noexcept {
    if (length > (SIZE_MAX - 4) / 2) return false;
    const std::size_t capacity = 2 * length + 4;
    auto* block = static_cast<unsigned char*>(reallocate_(nullptr, capacity));
    if (block == nullptr) return false;
    out_.bytes.reset(block);
    out_.capacity = capacity;
    block[0] = 0xFF;
    block[1] = 0xFE;
    out_.size = 2;
    return true;
  }

  // The enlargement rule, applied before the units of each code point.
  bool make_room() noexcept {
    if (out_.size + 4 < out_.capacity) return true;
    if (out_.capacity > SIZE_MAX / 2) return fail();
    void* grown = reallocate_(out_.bytes.get(), out_.capacity * 2);
    if (grown == nullptr) return fail();
    out_.bytes.release();
    out_.bytes.reset(static_cast<unsigned char*>(grown));
    out_.capacity *= 2;
    return true;
  }

  bool fail() noexcept {
    out_ = Utf16Output{};
    return false;
  }

 private:
  Utf16Output& out_;
  Reallocate reallocate_;
};

}  // namespace

bool encode_utf16le(const unsigned char* text, std::size_t length, Utf16Output& out,
                    Reallocate reallocate) noexcept {
  out = Utf16Output{};
  Writer writer(out, reallocate);
  if (!writer.start(length)) return writer.fail();
  // No input byte yields more than two output bytes, so all the units fit
  // the first block and are written in one go. The enlargement rule is
  // checked before the units of each code point against a write position
  // that only grows, so it applies at some code point exactly when it
  // applies at the last one, and at most once: checking it there gives the
  // same block, the same capacity and the same failure.
  const Utf16Units units = utf8_to_utf16le(text, length, out.bytes.get() + 2);
  if (length > 0) {
    out.size = 2 + units.before_last;
    if (!writer.make_room()) return false;
  }
  out.size = 2 + units.size;
  return true;
}

}  // namespace tf::save
