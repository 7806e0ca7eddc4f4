#include "frame/large_block.hpp"

#include <sys/mman.h>

#include <cstdlib>

namespace tf {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;

}  // namespace

HeapBytes alloc_large(std::size_t n) noexcept {
  if (n < kLargeBlockMin) return alloc_bytes(n == 0 ? 1 : n);
  void* block = nullptr;
  if (posix_memalign(&block, kHugePage, n) != 0) return HeapBytes();
#if defined(MADV_HUGEPAGE)
  // Advice only: where transparent huge pages are off this simply fails.
  (void)madvise(block, n & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
  return HeapBytes(static_cast<unsigned char*>(block));
}

void shrink_block(HeapBytes& block, std::size_t capacity, std::size_t n) noexcept {
  if (!block || n == 0 || capacity < n || capacity - n < kPage) return;
  void* shrunk = std::realloc(block.get(), n);
  if (shrunk == nullptr) return;  // the old block is still valid
  (void)block.release();
  block.reset(static_cast<unsigned char*>(shrunk));
}

}  // namespace tf
