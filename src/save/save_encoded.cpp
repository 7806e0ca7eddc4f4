#include "save/save_encoded.hpp"

#include <cstring>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "save/atomic_replace.hpp"
#include "save/encode_utf16le.hpp"

namespace tf::save {
namespace {

enum class OutputEncoding { kUtf8, kUtf8Bom, kUtf16le, kUnsupported };

OutputEncoding output_encoding(const char* name) noexcept {
  if (std::strcmp(name, "utf8") == 0) return OutputEncoding::kUtf8;
  if (std::strcmp(name, "utf8-bom") == 0) return OutputEncoding::kUtf8Bom;
  if (std::strcmp(name, "utf16le") == 0) return OutputEncoding::kUtf16le;
  return OutputEncoding::kUnsupported;
}

// The longest accepted path is 4087 bytes, so that "<path>.tmp" fits a
// 4096-byte buffer with room to spare.
constexpr std::size_t kMaxPathPlusSlack = 4095;
constexpr std::size_t kSlack = 8;

constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

}  // namespace

int save_encoded(const unsigned char* text, std::uint64_t length, const char* path,
                 const char* encoding) noexcept {
  const OutputEncoding output = output_encoding(encoding);
  if (output == OutputEncoding::kUnsupported) {
    set_last_error(msg::kUnsupportedEncoding, encoding);
    return -1;
  }
  if (std::strlen(path) + kSlack > kMaxPathPlusSlack) {
    set_last_error("%s", msg::kPathTooLong);
    return -1;
  }
  ReplacementFile file(path);
  if (!file.create()) return -1;

  switch (output) {
    case OutputEncoding::kUtf8Bom:
      if (!file.write(kUtf8Mark, sizeof kUtf8Mark)) return -1;
      [[fallthrough]];
    case OutputEncoding::kUtf8:
      if (!file.write(text, length)) return -1;
      break;
    case OutputEncoding::kUtf16le: {
      Utf16Output encoded;
      if (!encode_utf16le(text, length, encoded)) {
        set_last_error("%s", msg::kOutOfMemoryUtf16);
        return -1;
      }
      if (!file.write(encoded.bytes.get(), encoded.size)) return -1;
      break;
    }
    case OutputEncoding::kUnsupported:
      return -1;
  }
  return file.commit() ? 1 : -1;
}

}  // namespace tf::save
