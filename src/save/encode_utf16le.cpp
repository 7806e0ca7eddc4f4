#include "save/encode_utf16le.hpp"

#include <cstdint>
#include <cstring>

namespace tf::save {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

// Length of the run of bytes below 0x80 at the start of `text`, eight at a
// time while whole words remain.
std::size_t ascii_run(const unsigned char* text, std::size_t length) noexcept {
  std::size_t n = 0;
  while (length - n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text + n, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
    n += 8;
  }
  while (n < length && text[n] < 0x80) ++n;
  return n;
}

// Every byte becomes the unit (byte, 00).
void widen(const unsigned char* text, std::size_t n, unsigned char* out) noexcept {
  for (std::size_t k = 0; k < n; ++k) {
    out[2 * k] = text[k];
    out[2 * k + 1] = 0;
  }
}

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

  // How many single units can be stored one after the other before the
  // enlargement rule applies to one of them.
  std::size_t units_before_growth() const noexcept {
    if (out_.size + 4 >= out_.capacity) return 0;
    return (out_.capacity - out_.size - 5) / 2 + 1;
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

  void put_unit(std::uint32_t unit) noexcept {
    unsigned char* p = out_.bytes.get() + out_.size;
    p[0] = static_cast<unsigned char>(unit & 0xFF);
    p[1] = static_cast<unsigned char>((unit >> 8) & 0xFF);
    out_.size += 2;
  }

  void put_ascii(const unsigned char* text, std::size_t n) noexcept {
    widen(text, n, out_.bytes.get() + out_.size);
    out_.size += 2 * n;
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

  std::size_t i = 0;
  while (i < length) {
    const std::uint32_t b = text[i];
    if (b < 0x80) {
      // A run of ASCII is widened in one go, as far as no unit of it is due
      // for the enlargement check; the unit that is goes the long way.
      std::size_t n = ascii_run(text + i, length - i);
      const std::size_t room = writer.units_before_growth();
      if (n > room) n = room;
      if (n > 0) {
        writer.put_ascii(text + i, n);
        i += n;
        continue;
      }
    }

    std::uint32_t value;
    bool four_byte = false;
    if (b < 0x80) {
      value = b;
      i += 1;
    } else if (b >= 0xC0 && b <= 0xDF && i + 1 < length) {
      value = ((b & 0x1F) << 6) | (text[i + 1] & 0x3Fu);
      i += 2;
    } else if (b >= 0xE0 && b <= 0xEF && i + 2 < length) {
      value = ((b & 0x0F) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
      i += 3;
    } else if (b >= 0xF0 && b <= 0xF7 && i + 3 < length) {
      value = ((b & 0x07) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) |
              (text[i + 3] & 0x3Fu);
      four_byte = true;
      i += 4;
    } else {
      value = kReplacement;
      i += 1;
    }

    if (!writer.make_room()) return false;
    if (!four_byte || value <= 0xFFFF) {
      writer.put_unit(value);
    } else if (value > 0x10FFFF) {
      writer.put_unit(kReplacement);
    } else {
      writer.put_unit(0xD800 + ((value - 0x10000) >> 10));
      writer.put_unit(0xDC00 + ((value - 0x10000) & 0x3FF));
    }
  }
  return true;
}

}  // namespace tf::save
