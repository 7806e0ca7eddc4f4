// WebAssembly has one linear memory and no pages to advise: an ordinary
// block.
#include <cstdlib>

#include "platform/large_pages.hpp"

namespace tf::platform {

void* allocate_large(std::size_t n) noexcept { return std::malloc(n); }

}  // namespace tf::platform
