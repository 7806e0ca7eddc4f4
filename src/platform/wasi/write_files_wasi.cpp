// WASI through wasi-libc. WASI has no owners and no permission bits: a new
// file gets what the host's runtime gives it (0666 minus the umask of the
// host process), whatever the target had.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/write_files.hpp"

namespace tf::platform {
namespace {

constexpr std::size_t kPathBuffer = 4096;

}  // namespace

bool names_directory(const char* path) noexcept {
  const std::size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '/') return true;
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

unsigned long directory_target_code() noexcept { return EISDIR; }

unsigned long missing_target_code() noexcept { return ENOENT; }

int remove_name(const char* path) noexcept { return ::unlink(path); }

int create_new_file(const char* path, const char* /*like*/) noexcept {
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
}

std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept {
  return static_cast<std::int64_t>(::write(file, data, n));
}

int sync_file(int file) noexcept { return ::fsync(file); }

bool replace_file(const char* from, const char* to, unsigned long& code) noexcept {
  if (std::rename(from, to) == 0) return true;
  code = static_cast<unsigned long>(errno);
  return false;
}

int open_directory_of(const char* path) noexcept {
  char dir[kPathBuffer];
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::strcpy(dir, ".");
  } else {
    std::size_t n = static_cast<std::size_t>(slash - path);
    if (n == 0) n = 1;  // the root directory itself
    if (n >= sizeof dir) {
      errno = ENAMETOOLONG;
      return -1;
    }
    std::memcpy(dir, path, n);
    dir[n] = '\0';
  }
  return ::open(dir, O_RDONLY | O_DIRECTORY);
}

int sync_directory(int directory) noexcept { return sync_file(directory); }

void close_directory(int directory) noexcept { (void)::close(directory); }

}  // namespace tf::platform
