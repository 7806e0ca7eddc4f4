// Large heap blocks that the kernel can back with 2 MiB pages. Faulting in a
// fresh 4 KiB page costs far more than filling it, so a block that will hold
// many megabytes (file bytes, decoded text, encoded output) is aligned to
// 2 MiB and advised MADV_HUGEPAGE where the system has transparent huge pages
// (platform/large_pages.hpp). The blocks still come from the C heap:
// free and realloc work on them as on any malloc block, so they can be handed
// to the caller or stored in a handle slot like every other block.
#pragma once

#include <cstddef>

#include "frame/heap.hpp"

namespace tf {

// Below this size a block is an ordinary malloc block.
inline constexpr std::size_t kLargeBlockMin = std::size_t{2} << 20;

// A block of n bytes (n >= 1), null when the heap is exhausted. Only whole
// 2 MiB stretches are advised, so the tail of the block uses ordinary pages
// and nothing beyond n is ever touched.
HeapBytes alloc_large(std::size_t n) noexcept;

// Shrinks a block of `capacity` bytes to its first n bytes (n >= 1) when
// that gives back at least a page; a block that cannot be shrunk stays as it
// is. Never fails.
void shrink_block(HeapBytes& block, std::size_t capacity, std::size_t n) noexcept;

}  // namespace tf
