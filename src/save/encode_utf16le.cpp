#include "save/encode_utf16le.hpp"

#include <cstdint>

#include "save/utf16le_units.hpp"

namespace tf::save {

bool encode_utf16le(const unsigned char* text, std::size_t length, Utf16Output& out,
                    Allocate allocate) noexcept {
  out = Utf16Output{};
  // No input byte yields more than two output bytes.
  if (length > (SIZE_MAX - 2 - kStoreSlack) / 2) return false;
  // One counting pass first, so that the block holds exactly the output:
  // no reserve for the worst case, no enlargement after the work is done.
  const std::size_t size = 2 + utf16le_size(text, length);
  auto* block = static_cast<unsigned char*>(allocate(size + kStoreSlack));
  if (block == nullptr) return false;
  out.bytes.reset(block);
  out.capacity = size + kStoreSlack;
  block[0] = 0xFF;
  block[1] = 0xFE;
  out.size = 2 + utf8_to_utf16le(text, length, block + 2).size;
  return true;
}

}  // namespace tf::save
