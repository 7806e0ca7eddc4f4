#include "frame/large_block.hpp"

#include <cstdlib>

#include "platform/large_pages.hpp"

namespace tf {
namespace {

constexpr std::size_t kPage = 4096;

}  // namespace

HeapBytes alloc_large(std::size_t n) noexcept {
  if (n < kLargeBlockMin) return alloc_bytes(n == 0 ? 1 : n);
  return HeapBytes(static_cast<unsigned char*>(platform::allocate_large(n)));
}

void shrink_block(HeapBytes& block, std::size_t capacity, std::size_t n) noexcept {
  if (!block || n == 0 || capacity < n || capacity - n < kPage) return;
  void* shrunk = std::realloc(block.get(), n);
  if (shrunk == nullptr) return;  // the old block is still valid
  (void)block.release();
  block.reset(static_cast<unsigned char*>(shrunk));
}

}  // namespace tf
