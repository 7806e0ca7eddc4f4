#include <cstdlib>

#include "platform/large_pages.hpp"

namespace tf::platform {

// Windows has large pages only for processes holding a privilege that
// ordinary programs lack, and its aligned blocks cannot be passed to free:
// a plain heap block it is.
void* allocate_large(std::size_t n) noexcept { return std::malloc(n); }

}  // namespace tf::platform
