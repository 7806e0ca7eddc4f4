#include "decode/decode.hpp"

namespace tf::decode {

const char* encoding_name(int encoding) noexcept {
  switch (encoding) {
    case kUtf8Bom:
      return "utf8-bom";
    case kUtf16le:
      return "utf16le";
    case kUtf8:
      return "utf8";
    default:
      return "ansi";
  }
}

const char* line_ending_name(int line_ending) noexcept {
  switch (line_ending) {
    case kCr:
      return "cr";
    case kMixed:
      return "mixed";
    case kCrlf:
      return "crlf";
    default:
      return "lf";
  }
}

}  // namespace tf::decode
