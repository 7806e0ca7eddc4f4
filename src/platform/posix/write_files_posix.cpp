#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/write_files.hpp"

namespace tf::platform {
namespace {

constexpr std::size_t kPathBuffer = 4096;

int fd_of(const Directory& directory) noexcept { return static_cast<int>(directory.handle); }

int open_retrying(const char* path, int flags) noexcept {
  int fd;
  do {
    fd = ::open(path, flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
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
  // Read access is what a sync of the directory needs; a directory that may
  // be searched and written but not read is still opened, for its names.
  bool syncable = true;
  int fd = open_retrying(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#if defined(O_PATH)
  if (fd < 0 && errno == EACCES) {
    fd = open_retrying(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
    syncable = false;
  }
#endif
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
  out.syncable = syncable;
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

unsigned long directory_target_code() noexcept { return EISDIR; }

unsigned long missing_target_code() noexcept { return ENOENT; }

bool name_fits(const Directory& directory, const char* /*name*/, std::size_t length) noexcept {
  const long limit = ::fpathconf(fd_of(directory), _PC_NAME_MAX);
  return length <= static_cast<std::size_t>(limit > 0 ? limit : NAME_MAX);
}

int remove_name(const Directory& directory, const char* path) noexcept {
  return ::unlinkat(fd_of(directory), last_component(path), 0);
}

int create_new_file(const Directory& directory, const char* path, const char* like) noexcept {
  const int dir = fd_of(directory);
  struct stat existing;
  const bool keep_mode =
      ::fstatat(dir, last_component(like), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(existing.st_mode);
  const mode_t initial = keep_mode ? 0600 : 0666;
  int fd;
  do {
    fd = ::openat(dir, last_component(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  initial);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (keep_mode) {
    // Owner and group first: a change of owner may clear mode bits. A refused
    // owner may still leave the group allowed; a refusal of both keeps ours.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
    }
    if (::fchmod(fd, existing.st_mode & 0777) != 0) {
      // Stays 0600: never more open than the target.
    }
  }
  return fd;
}

std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept {
  return static_cast<std::int64_t>(::write(file, data, n));
}

int sync_file(int file) noexcept {
  int rc;
  do {
    rc = ::fsync(file);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

bool replace_file(const Directory& directory, const char* from, const char* to,
                  unsigned long& code) noexcept {
  const int dir = fd_of(directory);
  if (::renameat(dir, last_component(from), dir, last_component(to)) == 0) return true;
  code = static_cast<unsigned long>(errno);
  return false;
}

}  // namespace tf::platform
