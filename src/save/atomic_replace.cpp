#include "save/atomic_replace.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "platform/size_signal_guard.hpp"
#include "platform/write_files.hpp"

namespace tf::save {
namespace {

// No single write asks for more: the kernel caps a write near 2 GiB anyway.
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

}  // namespace

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) platform::close_file(fd_);
  if (created_ && !renamed_) platform::remove_name(temp_name_);
}

bool ReplacementFile::create() noexcept {
  // The empty path names nothing; its temporary name ".tmp" would be a
  // stranger's file in the current directory.
  if (target_[0] == '\0') {
    set_last_error(msg::kRenameFailed, platform::missing_target_code());
    return false;
  }
  if (platform::names_directory(target_)) {
    set_last_error(msg::kRenameFailed, platform::directory_target_code());
    return false;
  }
  // Whatever bears the name goes first, so that a link planted there is
  // removed rather than followed; O_EXCL then refuses anything planted since.
  if (platform::remove_name(temp_name_) != 0 && errno != ENOENT) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  fd_ = platform::create_new_file(temp_name_, target_);
  if (fd_ < 0) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  created_ = true;
  return true;
}

bool ReplacementFile::write(const unsigned char* data, std::size_t n) noexcept {
  platform::SizeSignalGuard guard;
  std::size_t done = 0;
  while (done < n) {
    const std::size_t ask = n - done < kMaxWrite ? n - done : kMaxWrite;
    const std::int64_t wrote = platform::write_some(fd_, data + done, ask);
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
  if (platform::sync_file(fd_) != 0) {
    set_last_error(msg::kFlushFailed, std::strerror(errno));
    return false;
  }
  // The data is on the device: what close says no longer matters, and a
  // close is never retried (the descriptor is gone whatever it answers).
  platform::close_file(fd_);
  fd_ = -1;
  // The directory is opened before the rename: a rename that could not be
  // made durable is not made at all.
  const int dir = platform::open_directory_of(target_);
  if (dir < 0) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(errno));
    return false;
  }
  unsigned long code = 0;
  if (!platform::replace_file(temp_name_, target_, code)) {
    set_last_error(msg::kRenameFailed, code);
    platform::close_directory(dir);
    return false;
  }
  renamed_ = true;
  // EINVAL: a file system that cannot sync a directory at all; the rename
  // is then as durable as it makes it.
  const bool synced = platform::sync_directory(dir) == 0 || errno == EINVAL;
  const int error_number = errno;
  platform::close_directory(dir);
  if (!synced) {
    set_last_error(msg::kDirectorySyncFailed, std::strerror(error_number));
    return false;
  }
  return true;
}

}  // namespace tf::save
