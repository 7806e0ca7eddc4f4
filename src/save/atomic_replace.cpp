#include "save/atomic_replace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "save/size_signal_guard.hpp"

namespace tf::save {
namespace {

constexpr std::size_t kPathBuffer = 4096;

int fsync_retrying(int fd) noexcept {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc;
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

void sync_parent_directory(const char* path) noexcept {
  char dir[kPathBuffer];
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::strcpy(dir, ".");
  } else {
    std::size_t n = static_cast<std::size_t>(slash - path);
    if (n == 0) n = 1;  // the root directory itself
    if (n >= sizeof dir) return;
    std::memcpy(dir, path, n);
    dir[n] = '\0';
  }
  const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync_retrying(fd);
  ::close(fd);
}

ReplacementFile::~ReplacementFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (created_ && !committed_) ::unlink(temp_name_);
}

bool ReplacementFile::create() noexcept {
  // Whatever bears the name goes first, so that a link planted there is
  // removed rather than followed; O_EXCL then refuses anything planted since.
  if (::unlink(temp_name_) != 0 && errno != ENOENT) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  const int fd = open_new_temp(temp_name_, target_);
  if (fd < 0) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  created_ = true;
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    ::close(fd);
    return false;
  }
  return true;
}

bool ReplacementFile::write(const unsigned char* data, std::size_t n) noexcept {
  SizeSignalGuard guard;
  std::size_t done = 0;
  while (done < n) {
    const std::size_t wrote = std::fwrite(data + done, 1, n - done, stream_);
    // After a failed write the stream may have dropped buffered bytes, so a
    // short count with the error flag set ends the save as well.
    if (wrote == 0 || std::ferror(stream_) != 0) {
      const int error_number = errno;
      guard.note_failure(error_number);
      set_last_error(msg::kWriteFailed, std::strerror(error_number));
      return false;
    }
    done += wrote;
  }
  return true;
}

bool ReplacementFile::commit() noexcept {
  {
    SizeSignalGuard guard;
    if (std::fflush(stream_) != 0) {
      const int error_number = errno;
      guard.note_failure(error_number);
      set_last_error(msg::kFlushFailed, std::strerror(error_number));
      return false;
    }
  }
  if (fsync_retrying(::fileno(stream_)) != 0) {
    set_last_error(msg::kFlushFailed, std::strerror(errno));
    return false;
  }
  std::fclose(stream_);
  stream_ = nullptr;
  if (std::rename(temp_name_, target_) != 0) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(errno));
    return false;
  }
  committed_ = true;
  sync_parent_directory(target_);
  return true;
}

}  // namespace tf::save
