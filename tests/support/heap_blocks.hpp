// Heap facilities the tests use that Windows' C runtime names differently.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdlib>

namespace tf_test {

// The usable size of a malloc block.
inline std::size_t usable_size(void* block) {
#if defined(_WIN32)
  return _msize(block);
#else
  return malloc_usable_size(block);
#endif
}

// A block aligned to `alignment` (a power of two, n a multiple of it),
// released with free_aligned: Windows' aligned blocks cannot go to free.
inline void* alloc_aligned(std::size_t alignment, std::size_t n) {
#if defined(_WIN32)
  return _aligned_malloc(n, alignment);
#else
  return std::aligned_alloc(alignment, n);
#endif
}

inline void free_aligned(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace tf_test
