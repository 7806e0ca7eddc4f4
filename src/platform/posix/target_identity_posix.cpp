#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/target_identity.hpp"

namespace tf::platform {

bool target_identity(const char* path, char* out, std::size_t size) noexcept {
  const char* slash = std::strrchr(path, '/');
  const char* last = slash == nullptr ? path : slash + 1;
  char dir[PATH_MAX];
  if (slash == nullptr) {
    std::strcpy(dir, ".");
  } else {
    std::size_t n = static_cast<std::size_t>(slash - path);
    if (n == 0) n = 1;  // the root directory itself
    if (n >= sizeof dir) return false;
    std::memcpy(dir, path, n);
    dir[n] = '\0';
  }
  // Resolved into `out` itself (PATH_MAX bytes are what realpath may write).
  if (size < PATH_MAX + 2 || ::realpath(dir, out) == nullptr) return false;
  const std::size_t dir_length = std::strlen(out);
  const std::size_t last_length = std::strlen(last);
  if (dir_length + 1 + last_length + 1 > size) return false;
  out[dir_length] = '/';
  std::memcpy(out + dir_length + 1, last, last_length + 1);
  return true;
}

}  // namespace tf::platform
