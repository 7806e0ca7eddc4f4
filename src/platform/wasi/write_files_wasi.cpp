// WASI through wasi-libc. WASI has no owners and no permission bits: a new
// file gets what the host's runtime gives it (0666 minus the umask of the
// host process), whatever the target had. WASI numbers its errors in an
// order of its own; the code a failed replace reports is Linux's number for
// the same error, as the native library on Linux reports it.
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

// Linux's number of a WASI error a rename can meet; others as they are.
unsigned long linux_code(int error) noexcept {
  struct Pair {
    int wasi;
    unsigned long linux_number;
  };
  static constexpr Pair kCodes[] = {
      {EPERM, 1},         {ENOENT, 2},     {EIO, 5},      {EACCES, 13},  {EBUSY, 16},
      {EEXIST, 17},       {EXDEV, 18},     {ENOTDIR, 20}, {EISDIR, 21},  {EINVAL, 22},
      {EMFILE, 24},       {ETXTBSY, 26},   {ENOSPC, 28},  {EROFS, 30},   {EMLINK, 31},
      {ENAMETOOLONG, 36}, {ENOTEMPTY, 39}, {ELOOP, 40},   {ESTALE, 116}, {EDQUOT, 122}};
  for (const Pair& p : kCodes) {
    if (p.wasi == error) return p.linux_number;
  }
  return static_cast<unsigned long>(error);
}

}  // namespace

bool names_directory(const char* path) noexcept {
  const std::size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '/') return true;
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

unsigned long directory_target_code() noexcept { return linux_code(EISDIR); }

unsigned long missing_target_code() noexcept { return linux_code(ENOENT); }

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
  code = linux_code(errno);
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
