// Replacing a file through a temporary file beside it: the target holds
// either its old content or the complete new content, never a mix, and the
// new content and its name are on the storage device when commit() succeeds.
#pragma once

#include <cstddef>

namespace tf::save {

// One replacement in progress. Each step leaves its message in the last-error
// buffer when it fails; whatever the temporary file has become is closed and
// removed when the object goes away without a successful rename.
class ReplacementFile {
 public:
  ReplacementFile(const char* target, const char* temp_name) noexcept
      : target_(target), temp_name_(temp_name) {}
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Refuses the empty path and a target that names a directory (or ends in
  // '/') before anything on disk is touched; then removes whatever bears the temporary name and
  // creates it afresh.
  bool create() noexcept;
  // Writes all n bytes, continuing after short and interrupted writes.
  bool write(const unsigned char* data, std::size_t n) noexcept;
  // Syncs and closes the file, opens the target's directory, renames the
  // file onto the target and syncs the directory. When only that last sync
  // fails, the target already holds the new content (which may not survive
  // a crash) and no temporary file remains.
  bool commit() noexcept;

 private:
  const char* target_;
  const char* temp_name_;
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

}  // namespace tf::save
