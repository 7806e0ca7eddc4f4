#include "frame/flat_json.hpp"

#include <cstdlib>
#include <cstring>

namespace tf {

void FlatJson::put(const char* s, std::size_t n) noexcept {
  if (overflow_ || n > sizeof buffer_ - length_) {
    overflow_ = true;
    return;
  }
  std::memcpy(buffer_ + length_, s, n);
  length_ += n;
}

void FlatJson::key(const char* key) noexcept {
  put(length_ == 0 ? "{\"" : ",\"", 2);
  put(key, std::strlen(key));
  put("\":", 2);
}

void FlatJson::add_int(const char* key, std::int64_t value) noexcept {
  this->key(key);
  char digits[24];
  std::size_t n = 0;
  // The magnitude as unsigned, so that the most negative value works too.
  std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  do {
    digits[sizeof digits - 1 - n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[sizeof digits - 1 - n++] = '-';
  put(digits + sizeof digits - n, n);
}

void FlatJson::add_name(const char* key, const char* value) noexcept {
  this->key(key);
  put("\"", 1);
  put(value, std::strlen(value));
  put("\"", 1);
}

char* FlatJson::write() const noexcept {
  if (overflow_) return nullptr;
  const std::size_t n = length_ == 0 ? 1 : length_;
  char* out = static_cast<char*>(std::malloc(n + 2));
  if (out == nullptr) return nullptr;
  if (length_ == 0) {
    std::memcpy(out, "{}", 3);
    return out;
  }
  std::memcpy(out, buffer_, length_);
  out[length_] = '}';
  out[length_ + 1] = '\0';
  return out;
}

}  // namespace tf
