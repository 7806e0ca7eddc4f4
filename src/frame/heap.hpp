// Owning pointers for blocks from the C heap. Blocks that end up in the
// caller's hands must come from malloc, so everything the library allocates
// for text uses malloc/realloc/free and is owned here until released.
#pragma once

#include <cstdlib>
#include <memory>

namespace tf {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

using HeapBytes = HeapPtr<unsigned char[]>;
using HeapChars = HeapPtr<char[]>;

// malloc(n) as an owning pointer; null when the heap is exhausted.
inline HeapBytes alloc_bytes(std::size_t n) noexcept {
  return HeapBytes(static_cast<unsigned char*>(std::malloc(n)));
}

inline HeapChars alloc_chars(std::size_t n) noexcept {
  return HeapChars(static_cast<char*>(std::malloc(n)));
}

}  // namespace tf
