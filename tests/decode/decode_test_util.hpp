// Helpers shared by the decoder tests: exact-size heap copies (so that ASan
// reports any read past the input) and hexadecimal dumps for failure output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decode/decode.hpp"
#include "reference/utf8_reference.hpp"

namespace tf_test {

// A heap block whose last byte is the last input byte: the input starts
// `align` bytes after a calloc'ed address (aligned to 16), so `align`
// 0..15 sets the input's offset within a 16-byte boundary.
class ExactCopy {
 public:
  ExactCopy(const unsigned char* bytes, std::size_t n, std::size_t align = 0)
      : base_(static_cast<unsigned char*>(std::calloc(align + n, 1))), size_(n) {
    // An empty block where the heap gives one (glibc and ASan do).
    if (base_ == nullptr) base_ = static_cast<unsigned char*>(std::calloc(1, 1));
    data_ = base_ + align;
    if (n != 0) std::memcpy(data_, bytes, n);
  }
  explicit ExactCopy(const std::vector<unsigned char>& v, std::size_t align = 0)
      : ExactCopy(v.data(), v.size(), align) {}
  ~ExactCopy() { std::free(base_); }
  ExactCopy(const ExactCopy&) = delete;
  ExactCopy& operator=(const ExactCopy&) = delete;

  unsigned char* data() { return data_; }
  std::size_t size() const { return size_; }

 private:
  unsigned char* base_;
  unsigned char* data_ = nullptr;
  std::size_t size_;
};

inline std::string hex(const unsigned char* p, std::size_t n) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", p[i]);
    out += buf;
  }
  return out;
}

inline std::string hex(const std::vector<unsigned char>& v) { return hex(v.data(), v.size()); }

inline std::vector<unsigned char> text_of(const tf::decode::DecodedText& d) {
  return std::vector<unsigned char>(d.text.get(), d.text.get() + d.text_length);
}

// Everything a UTF-8 decode of input[start, n) must satisfy, checked on the
// decoder's result `rc` and `got`, given the reference decoder's result
// `want`: an empty string when all holds, else what went wrong, with the
// bytes involved.
inline std::string utf8_decode_problem(const unsigned char* input, std::size_t n, std::size_t start,
                                       int rc, const tf::decode::DecodedText& got,
                                       const tf_ref::Decoded& want) {
  const tf_ref::Utf8Census census = tf_ref::utf8_census(input, n, start);
  const unsigned char* text = got.text.get();
  const std::size_t length = got.text_length;
  const unsigned char* rest = input + (start < n ? start : n);
  const std::size_t rest_length = start < n ? n - start : 0;
  const char* problem = nullptr;
  if (rc != 0 || text == nullptr) {
    problem = "failed";
  } else if (text[length] != 0) {
    problem = "no terminator";
  } else if (length != want.text.size() ||
             (length != 0 && std::memcmp(text, want.text.data(), length) != 0)) {
    problem = "differs from the reference decoder";
  } else if (got.sanitized != want.sanitized) {
    problem = "sanitized differs from the reference decoder";
  } else if (!tf_ref::is_well_formed(text, length)) {
    problem = "output is not well-formed";
  } else if (tf_ref::count_replacements(text, length) - census.replacement_chars !=
             census.bad_bytes) {
    problem = "U+FFFD count is not the number of bytes that start no sequence";
  } else if (got.sanitized != (census.bad_bytes > 0 ? 1 : 0)) {
    problem = "sanitized does not say whether anything was replaced";
  } else if (census.bad_bytes == 0 &&
             (length != rest_length ||
              (length != 0 && std::memcmp(text, rest, rest_length) != 0))) {
    problem = "well-formed input is not reproduced byte for byte";
  }
  if (problem == nullptr) return {};
  return "input " + hex(input, n) + " from " + std::to_string(start) + ": " + problem +
         "; got rc " + std::to_string(rc) + " text " +
         (text != nullptr ? hex(text, length) : std::string("(null)")) + " sanitized " +
         std::to_string(got.sanitized) + "; reference " + hex(want.text) + " sanitized " +
         std::to_string(want.sanitized);
}

inline std::string utf8_decode_problem(const unsigned char* input, std::size_t n, std::size_t start,
                                       int rc, const tf::decode::DecodedText& got) {
  return utf8_decode_problem(input, n, start, rc, got, tf_ref::decode_utf8(input, n, start));
}

}  // namespace tf_test
