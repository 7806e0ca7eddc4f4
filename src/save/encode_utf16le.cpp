#include "save/encode_utf16le.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace tf::save {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

// Spreads the four bytes of x over the low bytes of four 16-bit lanes.
std::uint64_t spread(std::uint64_t x) noexcept {
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  return (x | (x << 8)) & 0x00FF00FF00FF00FFull;
}

// Widens the bytes below 0x80 at the start of `text`, at most `limit` of
// them, each into the unit (byte, 00); eight at a time while whole words
// remain. Returns how many were widened.
std::size_t widen_ascii(const unsigned char* text, std::size_t limit, unsigned char* out) noexcept {
  std::size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (limit - n >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text + n, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
      const std::uint64_t low = spread(word & 0xFFFFFFFFull);
      const std::uint64_t high = spread(word >> 32);
      std::memcpy(out + 2 * n, &low, 8);
      std::memcpy(out + 2 * n + 8, &high, 8);
      n += 8;
    }
  }
  while (n < limit && text[n] < 0x80) {
    out[2 * n] = text[n];
    out[2 * n + 1] = 0;
    ++n;
  }
  return n;
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

  // Widens an ASCII run at `text` as far as no unit of it is due for the
  // enlargement check; returns how many bytes that took.
  std::size_t put_ascii(const unsigned char* text, std::size_t available) noexcept {
    std::size_t limit = units_before_growth();
    if (limit > available) limit = available;
    const std::size_t n = widen_ascii(text, limit, out_.bytes.get() + out_.size);
    out_.size += 2 * n;
    return n;
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
      // A run of ASCII is widened in one go; the unit that is due for the
      // enlargement check goes the long way.
      const std::size_t n = writer.put_ascii(text + i, length - i);
      if (n > 0) {
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
