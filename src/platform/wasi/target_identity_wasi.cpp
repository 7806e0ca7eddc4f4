// As on POSIX: the name as given (the directory's identity is its
// (volume, file) pair, which WASI reports as st_dev and st_ino).
#include <cstring>

#include "platform/target_identity.hpp"

namespace tf::platform {

void name_identity(const char* name, char* out, std::size_t size) noexcept {
  std::strncpy(out, name, size - 1);
  out[size - 1] = '\0';
}

}  // namespace tf::platform
