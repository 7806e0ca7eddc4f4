// Replacing a file through a temporary file beside it: the target holds
// either its old content or the complete new content, never a mix, and the
// new content and its name are on the storage device when commit() succeeds.
#pragma once

#include <cstddef>

#include "platform/write_files.hpp"
#include "save/target_lock.hpp"

namespace tf::save {

// The room for the temporary file's path: the target path (at most 4087
// bytes) and ".tmp".
inline constexpr std::size_t kTempNameBuffer = 4096;

// One replacement in progress. Each step leaves its message in the last-error
// buffer when it fails; whatever the temporary file has become is closed and
// removed when the object goes away without a successful rename.
//
// The temporary file is "<target>.tmp". Where that name is longer than a
// file name may be (a target name of 252 to 255 bytes), it is ".<16 hex
// digits>.tmp" in the same directory instead, the digits a hash of the
// target's name.
class ReplacementFile {
 public:
  // `target` is at most 4087 bytes long.
  explicit ReplacementFile(const char* target) noexcept;
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Refuses the empty path and a target that ends in a separator before
  // anything on disk is touched; opens the target's directory (every later
  // step works in that directory, whatever becomes of the path), refuses a
  // target that is a directory, waits for the turn of saves whose names meet
  // these, removes whatever bears the temporary name and creates it afresh.
  bool create() noexcept;
  // Writes all n bytes, continuing after short and interrupted writes.
  bool write(const unsigned char* data, std::size_t n) noexcept;
  // Syncs and closes the file, renames it onto the target and syncs the
  // directory. When only that last sync fails, the target already holds the
  // new content (which may not survive a crash) and no temporary file
  // remains.
  bool commit() noexcept;

  const char* temp_name() const noexcept { return temp_name_; }

 private:
  void shorten_temp_name() noexcept;

  const char* target_;
  char temp_name_[kTempNameBuffer];
  platform::Directory directory_;
  TargetLock turn_;  // left after the destructor has removed the temporary file
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

}  // namespace tf::save
