// Memory for blocks of many megabytes. Where the system offers transparent
// huge pages (Linux) the block is aligned to 2 MiB and advised to use them;
// elsewhere it is an ordinary block. Either way it comes from the C heap, so
// free and realloc work on it.
#pragma once

#include <cstddef>

namespace tf::platform {

// A block of n bytes (n >= 1), or null when the heap is exhausted.
void* allocate_large(std::size_t n) noexcept;

}  // namespace tf::platform
