// Replacing a file through a temporary file beside it: the target holds
// either its old content or the complete new content, never a mix, and the
// new content is on the storage device before the name switches.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tf::save {

// Creates `temp_name` as a new file (never through a link or a file already
// bearing the name). When `target` is an existing regular file, the new file
// starts as 0600 and then takes the target's permission bits (without
// setuid/setgid) and, where the system allows, its owner and group; otherwise
// it gets 0666 minus the umask. Returns the descriptor, or -1 with errno set.
int open_new_temp(const char* temp_name, const char* target) noexcept;

// Syncs the directory that holds `path`, so that a rename into it is durable.
// Best effort: failures are ignored.
void sync_parent_directory(const char* path) noexcept;

// One replacement in progress. Each step leaves its message in the last-error
// buffer when it fails; whatever the temporary file has become is closed and
// removed when the object goes away without a successful commit().
class ReplacementFile {
 public:
  ReplacementFile(const char* target, const char* temp_name) noexcept
      : target_(target), temp_name_(temp_name) {}
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Removes whatever bears the temporary name, then creates it afresh.
  bool create() noexcept;
  // Writes all n bytes.
  bool write(const unsigned char* data, std::size_t n) noexcept;
  // Flushes and syncs the file, closes it, renames it onto the target and
  // syncs the directory.
  bool commit() noexcept;

 private:
  const char* target_;
  const char* temp_name_;
  std::FILE* stream_ = nullptr;
  bool created_ = false;
  bool committed_ = false;
};

}  // namespace tf::save
