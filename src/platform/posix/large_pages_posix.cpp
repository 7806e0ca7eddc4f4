#include <sys/mman.h>

#include <cstdlib>

#include "platform/large_pages.hpp"

namespace tf::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* allocate_large(std::size_t n) noexcept {
  void* block = nullptr;
  if (posix_memalign(&block, kHugePage, n) != 0) return nullptr;
#if defined(MADV_HUGEPAGE)
  // Advice only: where transparent huge pages are off this simply fails.
  // Only whole 2 MiB stretches are advised, so the tail of the block uses
  // ordinary pages and nothing beyond n is ever touched.
  (void)madvise(block, n & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
  return block;
}

}  // namespace tf::platform
