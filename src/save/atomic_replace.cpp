#include "save/atomic_replace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "save/size_signal_guard.hpp"

namespace tf::save {
namespace {

constexpr std::size_t kPathBuffer = 4096;
// No single write asks for more: the kernel caps a write near 2 GiB anyway.
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

int fsync_retrying(int fd) noexcept {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A path ending in '/' can only name a directory; its temporary name would
// be "<dir>/.tmp", a file of someone else's. Links are not followed: a link
// at the target is replaced, whatever it points to.
bool names_directory(const char* path) noexcept {
  const std::size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '/') return true;
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int open_new_temp(const char* temp_name, const char* target) noexcept {
  struct stat existing;
  const bool keep_mode = ::lstat(target, &existing) == 0 && S_ISREG(existing.st_mode);
  const mode_t initial = keep_mode ? 0600 : 0666;
  int fd;
  do {
    fd = ::open(temp_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, initial);
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

int open_parent_directory(const char* path) noexcept {
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
  int fd;
  do {
    fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) ::close(fd_);
  if (created_ && !renamed_) ::unlink(temp_name_);
}

bool ReplacementFile::create() noexcept {
  if (names_directory(target_)) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(EISDIR));
    return false;
  }
  // Whatever bears the name goes first, so that a link planted there is
  // removed rather than followed; O_EXCL then refuses anything planted since.
  if (::unlink(temp_name_) != 0 && errno != ENOENT) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  fd_ = open_new_temp(temp_name_, target_);
  if (fd_ < 0) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  created_ = true;
  return true;
}

bool ReplacementFile::write(const unsigned char* data, std::size_t n) noexcept {
  SizeSignalGuard guard;
  std::size_t done = 0;
  while (done < n) {
    const std::size_t ask = n - done < kMaxWrite ? n - done : kMaxWrite;
    const ssize_t wrote = ::write(fd_, data + done, ask);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
      continue;
    }
    // A signal handler installed without SA_RESTART interrupts slow writes
    // (network and user-space file systems); nothing was written then.
    if (wrote < 0 && errno == EINTR) continue;
    const int error_number = wrote < 0 ? errno : EIO;
    guard.note_failure(error_number);
    set_last_error(msg::kWriteFailed, std::strerror(error_number));
    return false;
  }
  return true;
}

bool ReplacementFile::commit() noexcept {
  if (fsync_retrying(fd_) != 0) {
    set_last_error(msg::kFlushFailed, std::strerror(errno));
    return false;
  }
  // The data is on the device: what close says no longer matters, and a
  // close is never retried (the descriptor is gone whatever it answers).
  ::close(fd_);
  fd_ = -1;
  // The directory is opened before the rename: a rename that could not be
  // made durable is not made at all.
  const int dir = open_parent_directory(target_);
  if (dir < 0) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(errno));
    return false;
  }
  if (std::rename(temp_name_, target_) != 0) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(errno));
    ::close(dir);
    return false;
  }
  renamed_ = true;
  // EINVAL: a file system that cannot sync a directory at all; the rename
  // is then as durable as it makes it.
  const bool synced = fsync_retrying(dir) == 0 || errno == EINVAL;
  const int error_number = errno;
  ::close(dir);
  if (!synced) {
    set_last_error(msg::kDirectorySyncFailed, std::strerror(error_number));
    return false;
  }
  return true;
}

}  // namespace tf::save
