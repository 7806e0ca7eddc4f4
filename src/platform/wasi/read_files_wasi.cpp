// WASI through wasi-libc: the same calls as POSIX, minus what WASI has no
// notion of (no child processes to inherit a descriptor, no terminals to
// become controlling, no signals to interrupt an open).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/read_files.hpp"

namespace tf::platform {
namespace {

void describe(const struct stat& st, FileStatus& out) noexcept {
  out.kind = S_ISDIR(st.st_mode)   ? FileKind::kDirectory
             : S_ISREG(st.st_mode) ? FileKind::kRegular
                                   : FileKind::kOther;
  out.size = static_cast<std::int64_t>(st.st_size);
}

}  // namespace

int status_of_path(const char* path, FileStatus& out) noexcept {
  struct stat st;
  if (::stat(path, &st) != 0) return -1;
  describe(st, out);
  return 0;
}

int status_of_file(int file, FileStatus& out) noexcept {
  struct stat st;
  if (::fstat(file, &st) != 0) return -1;
  describe(st, out);
  return 0;
}

int open_for_reading(const char* path) noexcept {
  // O_NONBLOCK: a FIFO swapped in for the file must not hold the open (the
  // host's runtime opens it for us); what was opened is checked afterwards.
  return ::open(path, O_RDONLY | O_NONBLOCK);
}

std::int64_t read_some(int file, unsigned char* buffer, std::size_t n) noexcept {
  return static_cast<std::int64_t>(::read(file, buffer, n));
}

int rewind_file(int file) noexcept { return ::lseek(file, 0, SEEK_SET) == 0 ? 0 : -1; }

void close_file(int file) noexcept { (void)::close(file); }

}  // namespace tf::platform
