// WASI through wasi-libc: the POSIX version's descriptor-relative calls
// (openat, fstatat, unlinkat, renameat). WASI has no owners and no
// permission bits: a new file gets what the host's runtime gives it (0666
// minus the umask of the host process), whatever the target had. WASI
// numbers its errors in an order of its own; the code a failed replace
// reports is Linux's number for the same error, as the native library on
// Linux reports it.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/write_files.hpp"

namespace tf::platform {
namespace {

constexpr std::size_t kPathBuffer = 4096;

int fd_of(const Directory& directory) noexcept { return static_cast<int>(directory.handle); }

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

const char* last_component(const char* path) noexcept {
  const char* slash = std::strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

int open_directory_of(const char* path, Directory& out) noexcept {
  char dir[kPathBuffer];
  const char* last = last_component(path);
  if (last == path) {
    std::strcpy(dir, ".");
  } else {
    std::size_t n = static_cast<std::size_t>(last - 1 - path);
    if (n == 0) n = 1;  // the root directory itself
    if (n >= sizeof dir) {
      errno = ENAMETOOLONG;
      return -1;
    }
    std::memcpy(dir, path, n);
    dir[n] = '\0';
  }
  const int fd = ::open(dir, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int error_number = errno;
    (void)::close(fd);
    errno = error_number;
    return -1;
  }
  out.handle = fd;
  out.volume = static_cast<std::uint64_t>(st.st_dev);
  out.file = static_cast<std::uint64_t>(st.st_ino);
  out.syncable = true;
  return 0;
}

int sync_directory(const Directory& directory) noexcept { return sync_file(fd_of(directory)); }

void close_directory(Directory& directory) noexcept {
  if (directory.handle >= 0) (void)::close(fd_of(directory));
  directory.handle = -1;
}

bool names_directory(const Directory& directory, const char* path) noexcept {
  struct stat st;
  return ::fstatat(fd_of(directory), last_component(path), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(st.st_mode);
}

unsigned long directory_target_code() noexcept { return linux_code(EISDIR); }

unsigned long missing_target_code() noexcept { return linux_code(ENOENT); }

// WASI cannot ask the file system: the POSIX limit every common one has.
bool name_fits(const Directory& /*directory*/, const char* /*name*/, std::size_t length) noexcept {
  return length <= NAME_MAX;
}

int remove_name(const Directory& directory, const char* path) noexcept {
  return ::unlinkat(fd_of(directory), last_component(path), 0);
}

int create_new_file(const Directory& directory, const char* path, const char* /*like*/) noexcept {
  return ::openat(fd_of(directory), last_component(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                  0666);
}

std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept {
  return static_cast<std::int64_t>(::write(file, data, n));
}

int sync_file(int file) noexcept { return ::fsync(file); }

bool replace_file(const Directory& directory, const char* from, const char* to,
                  unsigned long& code) noexcept {
  const int dir = fd_of(directory);
  if (::renameat(dir, last_component(from), dir, last_component(to)) == 0) return true;
  code = linux_code(errno);
  return false;
}

}  // namespace tf::platform
