// The growable block every decoder writes into. It starts empty (null, 0, 0),
// allocates 256 bytes at the first append and doubles until the new bytes and
// a terminator fit, so data[length] is always 0x00 after a successful append.
// A failed growth leaves data, length and capacity as they were.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame/heap.hpp"

namespace tf::decode {

class Utf8Appender {
 public:
  Utf8Appender() = default;
  ~Utf8Appender() { std::free(data_); }
  Utf8Appender(const Utf8Appender&) = delete;
  Utf8Appender& operator=(const Utf8Appender&) = delete;

  // Appends one code point as UTF-8; values above U+10FFFF become U+FFFD.
  // Returns 0, or -1 when the block cannot grow.
  int append(std::uint32_t code_point) noexcept {
    unsigned char buf[4];
    int n;
    if (code_point > 0x10FFFF) code_point = 0xFFFD;
    if (code_point < 0x80) {
      buf[0] = static_cast<unsigned char>(code_point);
      n = 1;
    } else if (code_point < 0x800) {
      buf[0] = static_cast<unsigned char>(0xC0 | (code_point >> 6));
      buf[1] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      n = 2;
    } else if (code_point < 0x10000) {
      buf[0] = static_cast<unsigned char>(0xE0 | (code_point >> 12));
      buf[1] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      buf[2] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      n = 3;
    } else {
      buf[0] = static_cast<unsigned char>(0xF0 | (code_point >> 18));
      buf[1] = static_cast<unsigned char>(0x80 | ((code_point >> 12) & 0x3F));
      buf[2] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      buf[3] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      n = 4;
    }
    return append_bytes(buf, static_cast<std::uint64_t>(n));
  }

  // Appends bytes that are already UTF-8, with the same growth rule: the
  // capacity ends where appending them one code point at a time would.
  int append_bytes(const unsigned char* bytes, std::uint64_t n) noexcept {
    if (reserve_for(n) != 0) return -1;
    std::memcpy(data_ + length_, bytes, n);
    length_ += n;
    data_[length_] = 0;
    return 0;
  }

  // Makes room for n more bytes plus the terminator; 0 or -1.
  int reserve_for(std::uint64_t n) noexcept {
    const std::uint64_t needed = length_ + n + 1;
    if (capacity_ >= needed) return 0;
    std::uint64_t capacity = capacity_ == 0 ? 256 : capacity_ * 2;
    while (capacity < needed) capacity *= 2;
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) return -1;
    data_ = static_cast<unsigned char*>(grown);
    capacity_ = capacity;
    return 0;
  }

  const unsigned char* data() const noexcept { return data_; }
  std::uint64_t length() const noexcept { return length_; }
  std::uint64_t capacity() const noexcept { return capacity_; }

  // Hands the block over (null if nothing was ever appended).
  HeapBytes release() noexcept {
    HeapBytes out(data_);
    data_ = nullptr;
    length_ = capacity_ = 0;
    return out;
  }

 private:
  unsigned char* data_ = nullptr;
  std::uint64_t length_ = 0;
  std::uint64_t capacity_ = 0;
};

}  // namespace tf::decode
