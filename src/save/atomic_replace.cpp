#include "save/atomic_replace.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

ReplacementFile::ReplacementFile(const char* target) noexcept : target_(target) {
  std::snprintf(temp_name_, sizeof temp_name_, "%s.tmp", target);
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) platform::close_file(fd_);
  if (created_ && !renamed_) platform::remove_name(directory_, temp_name_);
  platform::close_directory(directory_);
}

void ReplacementFile::shorten_temp_name() noexcept {
  const char* name = platform::last_component(target_);
  const std::size_t name_length = std::strlen(name);
  // A name that does not fit itself keeps "<name>.tmp": the save fails there
  // with the system's word for it, as it always has.
  if (platform::name_fits(directory_, temp_name_ + (name - target_), name_length + 4) ||
      !platform::name_fits(directory_, name, name_length)) {
    return;
  }
  std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
  for (std::size_t i = 0; i < name_length; ++i) {
    hash = (hash ^ static_cast<unsigned char>(name[i])) * 0x100000001b3u;
  }
  std::snprintf(temp_name_ + (name - target_), sizeof temp_name_ - (name - target_), ".%016llx.tmp",
                static_cast<unsigned long long>(hash));
}

bool ReplacementFile::create() noexcept {
  // The empty path names nothing; its temporary name ".tmp" would be a
  // stranger's file in the current directory.
  if (target_[0] == '\0') {
    set_last_error(msg::kRenameFailed, platform::missing_target_code());
    return false;
  }
  if (platform::last_component(target_)[0] == '\0') {
    set_last_error(msg::kRenameFailed, platform::directory_target_code());
    return false;
  }
  // A directory that is not there fails the save as the creation of the
  // temporary file in it would.
  if (platform::open_directory_of(target_, directory_) != 0) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  if (platform::names_directory(directory_, target_)) {
    set_last_error(msg::kRenameFailed, platform::directory_target_code());
    return false;
  }
  shorten_temp_name();
  // Saves from other threads to this file, to its temporary name, or with
  // this file as their temporary name wait here.
  turn_.enter(directory_, target_, temp_name_);
  // Whatever bears the name goes first, so that a link planted there is
  // removed rather than followed; O_EXCL then refuses anything planted since.
  if (platform::remove_name(directory_, temp_name_) != 0 && errno != ENOENT) {
    set_last_error(msg::kCannotCreateTemp, temp_name_, std::strerror(errno));
    return false;
  }
  fd_ = platform::create_new_file(directory_, temp_name_, target_);
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
  // A directory opened for its names only cannot be synced: a rename that
  // could not be made durable is not made at all.
  if (!directory_.syncable) {
    set_last_error(msg::kRenameFailed, static_cast<unsigned long>(EACCES));
    return false;
  }
  unsigned long code = 0;
  if (!platform::replace_file(directory_, temp_name_, target_, code)) {
    set_last_error(msg::kRenameFailed, code);
    return false;
  }
  renamed_ = true;
  // EINVAL: a file system that cannot sync a directory at all; the rename
  // is then as durable as it makes it.
  const bool synced = platform::sync_directory(directory_) == 0 || errno == EINVAL;
  const int error_number = errno;
  if (!synced) {
    set_last_error(msg::kDirectorySyncFailed, std::strerror(error_number));
    return false;
  }
  return true;
}

}  // namespace tf::save
